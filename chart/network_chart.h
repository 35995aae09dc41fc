// The network chart: draws the rows of the result list as a network diagram on a chart
// canvas. One switch in the middle, each host (a router when its address ends in ".1",
// a PC otherwise) with a four-line label and a connector glued from the switch to it.
#pragma once

#include <string>
#include <vector>

#include "chart/chart_canvas.h"
#include "chart/visio_handles.h"

namespace tessvale {

// How a chart message is shown.
enum class ChartMessageKind
{
    Plain,     // no owner, caption "Error", text and caption translated
    Localised, // through the localisation service, text and caption "Error" translated
};

// The message of a step that failed.
struct ChartFailure
{
    ChartMessageKind kind;
    const char* text;
};

// Where the chart shows its messages; the GUI shows them, tests record them.
class ChartMessageSink
{
public:
    virtual ~ChartMessageSink() = default;
    virtual void ShowChartMessage(ChartMessageKind kind, const std::string& text) = 0;
    // A Yes/No question (caption "Tessvale", exclamation icon); true on Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
};

// Files the chart uses.
struct ChartPaths
{
    std::string stencilPath; // the stencil "NET_1" beside the program
    std::string savePath;    // the saved drawing
};

// The template the drawing is created from; the canvas supplies it.
inline constexpr const char* kChartTemplateName = "DTLNET_M.VST";

// Text of a host's label: four lines, no newline at the end.
std::string ChartLabelText(const std::string& hostName, const std::string& address, const std::string& mac,
                           const std::string& vendor);

// True when the address text ends in ".1" (its last two characters, or the whole text
// when shorter).
bool IsRouterAddress(const std::string& address);

// Where row i of the list stands: the host's master and position, and its label's master
// and x (the label stands at the host's height).
struct ChartRowPlace
{
    const char* hostMaster;
    double hostX;
    double y;
    const char* labelMaster;
    double labelX;
};

// Row 0 above the switch, then alternately left (odd rows) and right (even rows), one
// inch lower per row; a router for an address ending in ".1", else a PC.
ChartRowPlace ChartRowLayout(std::size_t row, const std::string& address);

class CNetworkChart
{
public:
    // The four lists are parallel (one entry per row) and owned by the caller.
    CNetworkChart(const std::vector<std::string>& addresses, const std::vector<std::string>& macs,
                  const std::vector<std::string>& hostNames, const std::vector<std::string>& vendors,
                  CanvasProvider& provider, ChartMessageSink& sink, ChartPaths paths);

    // Gets the application, the stencil, a new drawing, its pages and the stencil's
    // masters. False after showing the message of the first step that failed.
    bool OpenVisio();

    // Opens, draws, fits, centres and saves. True only when the drawing was saved; any
    // failing step shows its message and ends the run.
    bool Draw();

private:
    // The handles local to one drawing run.
    struct DrawingRun;

    // Shows the failure's message.
    void Show(const ChartFailure& failure);
    // One examined step: true when its call succeeded, else shows the failure's message.
    bool Step(ChartStatus status, const ChartFailure& failure);
    // The master of that name from the stencil, dropped at (x, y); neither call is examined.
    void DropMaster(CVisioPage& page, const char* masterName, double x, double y, CVisioShape& shape);
    // Selects first, then adds second, and groups them.
    bool GroupPair(CVisioSelection& selection, const CVisioShape& first, const CVisioShape& second);
    // The application: a running one is reused, otherwise a new one is started.
    void GetApplication();

    // The switch with its label, grouped; its connection point goes to run.switchPoint.
    bool DrawSwitch(DrawingRun& run);
    // Row i: connector, host and label, the connector glued from the switch to the host.
    bool DrawHost(DrawingRun& run, std::size_t i);
    // Fits the page around the drawing, widens it, centres it, zooms and saves.
    bool FitAndSave(DrawingRun& run);

    // Entry i of a list, empty when the list is shorter.
    static const std::string& Entry(const std::vector<std::string>& list, std::size_t i);

    const std::vector<std::string>& m_addresses;
    const std::vector<std::string>& m_macs;
    const std::vector<std::string>& m_hostNames;
    const std::vector<std::string>& m_vendors;
    CanvasProvider& m_provider;
    ChartMessageSink& m_sink;
    ChartPaths m_paths;

    CVisioApplication m_application;
    CVisioDocuments m_documents;
    CVisioDocument m_stencil;
    CVisioDocument m_drawing;
    CVisioPages m_pages;
    CVisioMasters m_masters;
};

} // namespace tessvale
