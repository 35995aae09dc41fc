// The chart canvas: the drawing program's automation objects that the network chart
// needs, as small reference-counted interfaces. The chart builder only talks to these;
// a backend supplies them (the .vsdx writer, or a recording canvas in tests).
#pragma once

#include <cstdint>
#include <string>

namespace tessvale {

// Status of one canvas call, in the manner of an automation status: negative is failure.
using ChartStatus = std::int32_t;

constexpr ChartStatus kChartOk = 0;
// Returned by a handle that holds no object; nothing is called.
constexpr ChartStatus kChartEmptyHandle = static_cast<ChartStatus>(0x86A54001u);
// A backend's general failure.
constexpr ChartStatus kChartFailed = static_cast<ChartStatus>(0x80004005u);
// The object does not offer the interface asked for.
constexpr ChartStatus kChartNoInterface = static_cast<ChartStatus>(0x80004002u);

inline bool ChartSucceeded(ChartStatus status)
{
    return status >= 0;
}

// Selection actions of CanvasSelection::Select.
constexpr short kSelectDeselectAll = 256;
constexpr short kSelectSelect = 2;
constexpr short kSelectDeselectAllThenSelect = kSelectDeselectAll | kSelectSelect; // 258

// CanvasWindow::PutViewFit: zoom so the page width fills the window.
constexpr int kViewFitPageWidth = 2;

enum class CanvasInterface
{
    Unknown,
    Application,
    Documents,
    Document,
    Pages,
    Page,
    Masters,
    Master,
    Shape,
    Cell,
    Selection,
    Window,
};

class CanvasDocuments;
class CanvasDocument;
class CanvasPages;
class CanvasPage;
class CanvasMasters;
class CanvasMaster;
class CanvasShape;
class CanvasCell;
class CanvasSelection;
class CanvasWindow;

// Base of every canvas object. A call that yields an object hands out one reference,
// which the receiver drops with Release.
class CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Unknown;

    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;
    // On success *out holds one new reference to the object under the asked interface.
    virtual ChartStatus QueryInterface(CanvasInterface iid, CanvasUnknown** out) = 0;

protected:
    virtual ~CanvasUnknown() = default;
};

class CanvasApplication : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Application;

    virtual ChartStatus GetDocuments(CanvasDocuments** out) = 0;
    virtual ChartStatus GetActiveWindow(CanvasWindow** out) = 0;
};

class CanvasDocuments : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Documents;

    // Opens the file (a stencil) or creates a new drawing from a template name.
    virtual ChartStatus Add(const std::string& fileName, CanvasDocument** out) = 0;
};

class CanvasDocument : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Document;

    virtual ChartStatus GetPages(CanvasPages** out) = 0;
    virtual ChartStatus GetMasters(CanvasMasters** out) = 0;
    virtual ChartStatus SaveAs(const std::string& fileName, short* result) = 0;
};

class CanvasPages : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Pages;

    // index counts from 1.
    virtual ChartStatus GetItem(int index, CanvasPage** out) = 0;
};

class CanvasPage : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Page;

    // A new shape from the master (or shape) whose pin is at (x, y).
    virtual ChartStatus Drop(CanvasUnknown* objectToDrop, double x, double y, CanvasShape** out) = 0;
    virtual ChartStatus ResizeToFitContents() = 0;
    virtual ChartStatus GetPageSheet(CanvasShape** out) = 0;
    virtual ChartStatus CenterDrawing() = 0;
};

class CanvasMasters : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Masters;

    virtual ChartStatus GetItem(const std::string& name, CanvasMaster** out) = 0;
};

class CanvasMaster : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Master;
};

class CanvasShape : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Shape;

    virtual ChartStatus PutText(const std::string& text) = 0;
    virtual ChartStatus GetCells(const std::string& cellName, CanvasCell** out) = 0;
};

class CanvasCell : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Cell;

    // Glues this cell (a 1-D shape's BeginX or EndX) to the target (a connection point).
    virtual ChartStatus GlueTo(CanvasCell* target) = 0;
    virtual ChartStatus GetResultIU(double* value) = 0;
    virtual ChartStatus PutResultIU(double value) = 0;
};

class CanvasSelection : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Selection;

    virtual ChartStatus Select(CanvasShape* shape, short action) = 0;
    virtual ChartStatus Group(CanvasShape** out) = 0;
};

class CanvasWindow : public CanvasUnknown
{
public:
    static constexpr CanvasInterface kInterface = CanvasInterface::Window;

    virtual ChartStatus GetSelection(CanvasSelection** out) = 0;
    virtual ChartStatus PutViewFit(int fit) = 0;
};

// The reference counting and interface query every canvas backend shares. An object is
// created holding the one reference that is handed to its receiver, and deletes itself
// when the last reference is dropped. A chart run stays on one thread, so the count is
// a plain number.
template <typename Interface> class CanvasObject : public Interface
{
public:
    CanvasObject() = default;
    CanvasObject(const CanvasObject&) = delete;
    CanvasObject& operator=(const CanvasObject&) = delete;

    std::uint32_t AddRef() override { return ++m_refs; }

    std::uint32_t Release() override
    {
        const std::uint32_t refs = --m_refs;
        if (refs == 0) {
            delete this;
        }
        return refs;
    }

    // Answers for its own interface and for CanvasInterface::Unknown.
    ChartStatus QueryInterface(CanvasInterface iid, CanvasUnknown** out) override
    {
        if (out == nullptr) {
            return kChartFailed;
        }
        *out = nullptr;
        if (iid != Interface::kInterface && iid != CanvasInterface::Unknown) {
            return kChartNoInterface;
        }
        AddRef();
        *out = this;
        return kChartOk;
    }

private:
    std::uint32_t m_refs = 1;
};

// Where the application object comes from: a running instance, or a new one.
class CanvasProvider
{
public:
    virtual ~CanvasProvider() = default;
    // A running application, if any (any interface; the caller queries it).
    virtual ChartStatus GetActiveObject(CanvasUnknown** out) = 0;
    // Starts a new application.
    virtual ChartStatus CreateInstance(CanvasApplication** out) = 0;
};

} // namespace tessvale
