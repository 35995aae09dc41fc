#include "chart/network_chart.h"

#include <utility>

namespace tessvale {

namespace {

constexpr const char* kSwitchMaster = "Workgroup Switches";
constexpr const char* kLabelMaster = "Label";
constexpr const char* kLeftLabelMaster = "Label2";
constexpr const char* kConnectorMaster = "Dynamic Connector";
constexpr const char* kRouterMaster = "Router";
constexpr const char* kPcMaster = "PC";
constexpr const char* kConnectionPoint = "Connections.X1";

// The connectors are dropped on a line below the drawing; gluing both ends moves them.
// The value is the single-precision 1.6 as the layout has always used it.
constexpr double kConnectorDropY = static_cast<double>(1.6f);

constexpr ChartMessageKind kPlain = ChartMessageKind::Plain;
constexpr ChartMessageKind kLocalised = ChartMessageKind::Localised;

constexpr ChartFailure kNoApplication{kPlain,
                                      "Can not get the Visio Application!\n\nHave you install the Visio Application?"};
constexpr ChartFailure kNoDocuments{kPlain,
                                    "Can not get the Visio Documents!\n\nPlease close all visio windows,and retry!"};
constexpr ChartFailure kNoStencil{kPlain, "Can not get the Visio Stencil Documents!\n\nCan not crete Visio chart!"};
constexpr ChartFailure kNoPages{kPlain, "Can not get the Visio Pages !\n\nCan not crete Visio chart!"};
constexpr ChartFailure kNoMasters{kPlain, "Can not get the Visio Master !\n\nCan not crete Visio chart!"};
constexpr ChartFailure kNoSelection{kLocalised, "Get selection error!"};
constexpr ChartFailure kSelectFailed{kLocalised, "Select error!"};
constexpr ChartFailure kGroupFailed{kLocalised, "Group err!"};
constexpr ChartFailure kNoSwitchPoint{kPlain, "start - Connections.X1!"};
constexpr ChartFailure kNoConnectorEnd{kPlain, "begin!"};
constexpr ChartFailure kGlueFailed{kPlain, "GlueTo error!"};
constexpr ChartFailure kNoHostPoint{kPlain, "end Connections.X4!"};
constexpr ChartFailure kResizeFailed{kLocalised, "Resize error!"};
constexpr ChartFailure kNoPageSheet{kLocalised, "page sheet error!"};
constexpr ChartFailure kNoWidthCell{kLocalised, "width cell error!"};
constexpr ChartFailure kGetWidthFailed{kLocalised, "get page width error!"};
constexpr ChartFailure kPutWidthFailed{kLocalised, "put page width error!"};
constexpr ChartFailure kCenterFailed{kLocalised, "centerdrawing error!"};
constexpr ChartFailure kViewFitFailed{kLocalised, "putViewFit error!"};
constexpr ChartFailure kSaveFailed{kLocalised, "SaveError!"};

// The status of a call that yields an object, failed also when no object came back.
ChartStatus Obtained(ChartStatus status, const CVisioUnknown& out)
{
    return ChartSucceeded(status) && !out.IsSet() ? kChartEmptyHandle : status;
}

} // namespace

struct CNetworkChart::DrawingRun
{
    CVisioPage page;
    CVisioWindow window;
    CVisioSelection selection;
    CVisioCell switchPoint;
};

std::string ChartLabelText(const std::string& hostName, const std::string& address, const std::string& mac,
                           const std::string& vendor)
{
    return "PC Name: " + hostName + "\nIP: " + address + "\nMAC: " + mac + "\nNet Card Vendor: " + vendor;
}

bool IsRouterAddress(const std::string& address)
{
    const std::string tail = address.size() < 2 ? address : address.substr(address.size() - 2);
    return tail == ".1";
}

CNetworkChart::CNetworkChart(const std::vector<std::string>& addresses, const std::vector<std::string>& macs,
                             const std::vector<std::string>& hostNames, const std::vector<std::string>& vendors,
                             CanvasProvider& provider, ChartMessageSink& sink, ChartPaths paths)
    : m_addresses(addresses), m_macs(macs), m_hostNames(hostNames), m_vendors(vendors), m_provider(provider),
      m_sink(sink), m_paths(std::move(paths))
{}

ChartRowPlace ChartRowLayout(std::size_t row, const std::string& address)
{
    const char* host = IsRouterAddress(address) ? kRouterMaster : kPcMaster;
    if (row == 0) {
        return {host, 6.0, 6.5, kLabelMaster, 6.75};
    }
    const double y = 5.0 - static_cast<double>(row);
    if (row % 2 == 1) {
        return {host, 4.0, y, kLeftLabelMaster, 3.5};
    }
    return {host, 8.0, y, kLabelMaster, 8.75};
}

void CNetworkChart::Show(const ChartFailure& failure)
{
    m_sink.ShowChartMessage(failure.kind, failure.text);
}

bool CNetworkChart::Step(ChartStatus status, const ChartFailure& failure)
{
    if (ChartSucceeded(status)) {
        return true;
    }
    Show(failure);
    return false;
}

const std::string& CNetworkChart::Entry(const std::vector<std::string>& list, std::size_t i)
{
    static const std::string empty;
    return i < list.size() ? list[i] : empty;
}

void CNetworkChart::GetApplication()
{
    {
        CVisioUnknown active;
        CanvasUnknown* running = nullptr;
        if (ChartSucceeded(m_provider.GetActiveObject(&running)) && running != nullptr) {
            active.TakeOver(running);
            running->Release();
            active.QueryInterface(CanvasInterface::Application, m_application);
        } else if (running != nullptr) {
            running->Release();
        }
    }
    if (!m_application.IsSet()) {
        CanvasApplication* created = nullptr;
        m_provider.CreateInstance(&created);
        if (created != nullptr) {
            m_application.TakeOver(created);
            created->Release();
        }
    }
}

bool CNetworkChart::OpenVisio()
{
    GetApplication();
    if (!m_application.IsSet()) {
        Show(kNoApplication);
        return false;
    }
    return Step(Obtained(m_application.Documents(m_documents), m_documents), kNoDocuments) &&
           Step(Obtained(m_documents.Add(m_paths.stencilPath, m_stencil), m_stencil), kNoStencil) &&
           Step(Obtained(m_documents.Add(kChartTemplateName, m_drawing), m_drawing), kNoStencil) &&
           Step(Obtained(m_drawing.Pages(m_pages), m_pages), kNoPages) &&
           Step(Obtained(m_stencil.Masters(m_masters), m_masters), kNoMasters);
}

void CNetworkChart::DropMaster(CVisioPage& page, const char* masterName, double x, double y, CVisioShape& shape)
{
    CVisioMaster master;
    m_masters.Item(masterName, master);
    page.Drop(master, x, y, shape);
}

bool CNetworkChart::GroupPair(CVisioSelection& selection, const CVisioShape& first, const CVisioShape& second)
{
    CVisioShape group;
    return Step(selection.Select(first, kSelectDeselectAllThenSelect), kSelectFailed) &&
           Step(selection.Select(second, kSelectSelect), kSelectFailed) && Step(selection.Group(group), kGroupFailed);
}

bool CNetworkChart::Draw()
{
    if (!OpenVisio()) {
        return false;
    }
    DrawingRun run;
    m_pages.Item(1, run.page);
    if (!Step(m_application.ActiveWindow(run.window), kNoSelection) ||
        !Step(run.window.Selection(run.selection), kNoSelection) || !DrawSwitch(run)) {
        return false;
    }
    const std::size_t rows = m_addresses.size();
    for (std::size_t i = 0; i < rows; ++i) {
        if (!DrawHost(run, i)) {
            return false;
        }
    }
    return FitAndSave(run);
}

bool CNetworkChart::DrawSwitch(DrawingRun& run)
{
    CVisioShape switchShape;
    DropMaster(run.page, kSwitchMaster, 6.0, 5.0, switchShape);
    CVisioShape switchLabel;
    DropMaster(run.page, kLabelMaster, 7.0, 5.0, switchLabel);
    if (switchLabel.IsSet()) {
        switchLabel.PutText("Switch");
    }
    return GroupPair(run.selection, switchShape, switchLabel) &&
           Step(switchShape.Cells(kConnectionPoint, run.switchPoint), kNoSwitchPoint);
}

bool CNetworkChart::DrawHost(DrawingRun& run, std::size_t i)
{
    CVisioShape connector;
    DropMaster(run.page, kConnectorMaster, static_cast<double>(i) + 6.0, kConnectorDropY, connector);
    const std::string& address = m_addresses[i];
    const ChartRowPlace place = ChartRowLayout(i, address);
    CVisioShape host;
    DropMaster(run.page, place.hostMaster, place.hostX, place.y, host);
    CVisioShape label;
    DropMaster(run.page, place.labelMaster, place.labelX, place.y, label);
    if (label.IsSet()) {
        label.PutText(ChartLabelText(Entry(m_hostNames, i), address, Entry(m_macs, i), Entry(m_vendors, i)));
    }

    CVisioCell beginCell;
    CVisioCell endCell;
    CVisioCell hostPoint;
    return Step(connector.Cells("BeginX", beginCell), kNoConnectorEnd) &&
           Step(beginCell.GlueTo(run.switchPoint), kGlueFailed) &&
           Step(connector.Cells("EndX", endCell), kNoConnectorEnd) &&
           Step(host.Cells(kConnectionPoint, hostPoint), kNoHostPoint) &&
           Step(endCell.GlueTo(hostPoint), kGlueFailed) && GroupPair(run.selection, label, host);
}

bool CNetworkChart::FitAndSave(DrawingRun& run)
{
    CVisioShape sheet;
    CVisioCell widthCell;
    double width = 0;
    short saveResult = 0;
    // Each step runs only after the one before it has succeeded, so width is read before
    // it is widened.
    return Step(run.page.ResizeToFitContents(), kResizeFailed) && Step(run.page.PageSheet(sheet), kNoPageSheet) &&
           Step(sheet.Cells("PageWidth", widthCell), kNoWidthCell) &&
           Step(widthCell.GetResultIU(&width), kGetWidthFailed) &&
           Step(widthCell.PutResultIU(width + 0.5), kPutWidthFailed) && Step(run.page.CenterDrawing(), kCenterFailed) &&
           Step(run.window.PutViewFit(kViewFitPageWidth), kViewFitFailed) &&
           Step(m_drawing.SaveAs(m_paths.savePath, &saveResult), kSaveFailed);
}

} // namespace tessvale
