#include "chart/vsdx_canvas.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "chart/vsdx_drawing.h"
#include "common/text_util.h"

namespace tessvale {

namespace {

struct DocumentState
{
    bool stencil = false;
    std::vector<VsdxMaster> stencilMasters;
    VsdxDrawing drawing;
};

// What the window of a drawing shows and has selected.
struct WindowState
{
    std::shared_ptr<DocumentState> document;
    std::vector<int> selected;
    int viewFit = 0;
};

struct ApplicationState
{
    std::vector<std::shared_ptr<DocumentState>> documents;
    std::shared_ptr<WindowState> activeWindow;
};

// Hands a new object to an out parameter.
template <typename T, typename I> ChartStatus Give(T* object, I** out)
{
    if (out == nullptr) {
        object->Release();
        return kChartFailed;
    }
    *out = object;
    return kChartOk;
}

bool EndsWithNoCase(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

// The part of an object that keeps the document it works on open while it lives.
class OnDocument
{
public:
    explicit OnDocument(std::shared_ptr<DocumentState> document) : m_document(std::move(document)) {}

protected:
    std::shared_ptr<DocumentState> m_document;
};

enum class CellKind
{
    PinX,
    PinY,
    Width,
    Height,
    BeginX,
    BeginY,
    EndX,
    EndY,
    ConnectionX,
    ConnectionY,
    PageWidth,
    PageHeight,
};

struct CellName
{
    CellKind kind;
    int row = 0;
};

std::optional<CellName> ParseShapeCell(std::string_view name)
{
    static constexpr std::pair<std::string_view, CellKind> kPlain[] = {
        {"PinX", CellKind::PinX},     {"PinY", CellKind::PinY},     {"Width", CellKind::Width},
        {"Height", CellKind::Height}, {"BeginX", CellKind::BeginX}, {"BeginY", CellKind::BeginY},
        {"EndX", CellKind::EndX},     {"EndY", CellKind::EndY},
    };
    for (const auto& [text, kind] : kPlain) {
        if (name == text) {
            return CellName{kind};
        }
    }
    constexpr std::string_view prefix = "Connections.";
    if (name.substr(0, prefix.size()) != prefix || name.size() < prefix.size() + 2) {
        return std::nullopt;
    }
    const char axis = name[prefix.size()];
    if (axis != 'X' && axis != 'Y') {
        return std::nullopt;
    }
    const std::string_view digits = name.substr(prefix.size() + 1);
    int row = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), row);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size() || row < 1) {
        return std::nullopt;
    }
    return CellName{axis == 'X' ? CellKind::ConnectionX : CellKind::ConnectionY, row - 1};
}

class CellObject : public CanvasObject<CanvasCell>
{
public:
    CellObject(std::shared_ptr<DocumentState> document, int shapeId, CellName name)
        : m_document(std::move(document)), m_shapeId(shapeId), m_name(name)
    {}

    ChartStatus GlueTo(CanvasCell* target) override
    {
        auto* other = dynamic_cast<CellObject*>(target);
        if (other == nullptr || other->m_document != m_document || other->m_name.kind != CellKind::ConnectionX ||
            (m_name.kind != CellKind::BeginX && m_name.kind != CellKind::EndX)) {
            return kChartFailed;
        }
        const bool ok =
            m_document->drawing.Glue(m_shapeId, m_name.kind == CellKind::BeginX, other->m_shapeId, other->m_name.row);
        return ok ? kChartOk : kChartFailed;
    }

    ChartStatus GetResultIU(double* value) override
    {
        if (value == nullptr) {
            return kChartFailed;
        }
        VsdxDrawing& drawing = m_document->drawing;
        if (const double* page = PageValue(drawing)) {
            *value = *page;
            return kChartOk;
        }
        VsdxShape* shape = drawing.Find(m_shapeId);
        if (shape == nullptr) {
            return kChartFailed;
        }
        if (const double* stored = SettableValue(*shape)) {
            *value = *stored;
            return kChartOk;
        }
        ChartPoint point;
        switch (m_name.kind) {
        case CellKind::BeginX:
        case CellKind::BeginY:
            point = drawing.BeginPoint(*shape);
            break;
        case CellKind::EndX:
        case CellKind::EndY:
            point = drawing.EndPoint(*shape);
            break;
        case CellKind::ConnectionX:
        case CellKind::ConnectionY:
            point = shape->connections[static_cast<std::size_t>(m_name.row)];
            break;
        default:
            return kChartFailed;
        }
        const bool x =
            m_name.kind == CellKind::BeginX || m_name.kind == CellKind::EndX || m_name.kind == CellKind::ConnectionX;
        *value = x ? point.x : point.y;
        return kChartOk;
    }

    ChartStatus PutResultIU(double value) override
    {
        VsdxDrawing& drawing = m_document->drawing;
        if (double* page = PageValue(drawing)) {
            if (!(value > 0)) {
                return kChartFailed;
            }
            *page = value;
            return kChartOk;
        }
        VsdxShape* shape = drawing.Find(m_shapeId);
        // Connector ends and connection points are not moved by hand.
        double* stored = shape != nullptr ? SettableValue(*shape) : nullptr;
        if (stored == nullptr) {
            return kChartFailed;
        }
        *stored = value;
        return kChartOk;
    }

private:
    double* PageValue(VsdxDrawing& drawing) const
    {
        if (m_name.kind == CellKind::PageWidth) {
            return &drawing.pageWidth;
        }
        return m_name.kind == CellKind::PageHeight ? &drawing.pageHeight : nullptr;
    }

    // The stored value of a cell that can be set by hand; nullptr for the others.
    double* SettableValue(VsdxShape& shape) const
    {
        static constexpr std::pair<CellKind, double VsdxShape::*> kFields[] = {
            {CellKind::PinX, &VsdxShape::pinX},
            {CellKind::PinY, &VsdxShape::pinY},
            {CellKind::Width, &VsdxShape::width},
            {CellKind::Height, &VsdxShape::height},
        };
        for (const auto& [kind, field] : kFields) {
            if (kind == m_name.kind) {
                return &(shape.*field);
            }
        }
        return nullptr;
    }

    std::shared_ptr<DocumentState> m_document;
    int m_shapeId;
    CellName m_name;
};

class ShapeObject : public CanvasObject<CanvasShape>
{
public:
    ShapeObject(std::shared_ptr<DocumentState> document, int shapeId)
        : m_document(std::move(document)), m_shapeId(shapeId)
    {}

    ChartStatus PutText(const std::string& text) override
    {
        VsdxShape* shape = m_document->drawing.Find(m_shapeId);
        if (shape == nullptr) {
            return kChartFailed;
        }
        shape->text = text;
        return kChartOk;
    }

    ChartStatus GetCells(const std::string& cellName, CanvasCell** out) override
    {
        const VsdxShape* shape = m_document->drawing.Find(m_shapeId);
        const auto name = ParseShapeCell(cellName);
        if (shape == nullptr || !name) {
            return kChartFailed;
        }
        const bool end = name->kind == CellKind::BeginX || name->kind == CellKind::BeginY ||
                         name->kind == CellKind::EndX || name->kind == CellKind::EndY;
        const bool connection = name->kind == CellKind::ConnectionX || name->kind == CellKind::ConnectionY;
        if ((end && !shape->oneD) || (connection && static_cast<std::size_t>(name->row) >= shape->connections.size())) {
            return kChartFailed;
        }
        return Give(new CellObject(m_document, m_shapeId, *name), out);
    }

    const std::shared_ptr<DocumentState>& Document() const { return m_document; }
    int Id() const { return m_shapeId; }

private:
    std::shared_ptr<DocumentState> m_document;
    int m_shapeId;
};

// The page's own sheet: its cells are the page size.
class PageSheetObject : public CanvasObject<CanvasShape>, public OnDocument
{
public:
    using OnDocument::OnDocument;

    ChartStatus PutText(const std::string&) override { return kChartFailed; }

    ChartStatus GetCells(const std::string& cellName, CanvasCell** out) override
    {
        if (cellName == "PageWidth") {
            return Give(new CellObject(m_document, 0, {CellKind::PageWidth}), out);
        }
        if (cellName == "PageHeight") {
            return Give(new CellObject(m_document, 0, {CellKind::PageHeight}), out);
        }
        return kChartFailed;
    }
};

class MasterObject : public CanvasObject<CanvasMaster>
{
public:
    MasterObject(std::shared_ptr<DocumentState> document, VsdxMaster master)
        : m_document(std::move(document)), m_master(std::move(master))
    {}
    const VsdxMaster& Master() const { return m_master; }

private:
    std::shared_ptr<DocumentState> m_document; // keeps the stencil open while its master is held
    VsdxMaster m_master;
};

class MastersObject : public CanvasObject<CanvasMasters>, public OnDocument
{
public:
    using OnDocument::OnDocument;

    ChartStatus GetItem(const std::string& name, CanvasMaster** out) override
    {
        const auto& masters = m_document->stencil ? m_document->stencilMasters : m_document->drawing.Masters();
        for (const VsdxMaster& master : masters) {
            if (master.nameU == name) {
                return Give(new MasterObject(m_document, master), out);
            }
        }
        return kChartFailed;
    }
};

class PageObject : public CanvasObject<CanvasPage>, public OnDocument
{
public:
    using OnDocument::OnDocument;

    ChartStatus Drop(CanvasUnknown* objectToDrop, double x, double y, CanvasShape** out) override
    {
        auto* master = dynamic_cast<MasterObject*>(objectToDrop);
        if (master == nullptr) {
            return kChartFailed;
        }
        VsdxDrawing& drawing = m_document->drawing;
        const int id = drawing.Drop(drawing.UseMaster(master->Master()), x, y);
        return Give(new ShapeObject(m_document, id), out);
    }

    ChartStatus ResizeToFitContents() override
    {
        m_document->drawing.ResizeToFitContents();
        return kChartOk;
    }

    ChartStatus GetPageSheet(CanvasShape** out) override { return Give(new PageSheetObject(m_document), out); }

    ChartStatus CenterDrawing() override
    {
        m_document->drawing.CenterDrawing();
        return kChartOk;
    }
};

class PagesObject : public CanvasObject<CanvasPages>, public OnDocument
{
public:
    using OnDocument::OnDocument;

    ChartStatus GetItem(int index, CanvasPage** out) override
    {
        // A drawing has its one page; a stencil has none.
        if (m_document->stencil || index != 1) {
            return kChartFailed;
        }
        return Give(new PageObject(m_document), out);
    }
};

class DocumentObject : public CanvasObject<CanvasDocument>, public OnDocument
{
public:
    using OnDocument::OnDocument;

    ChartStatus GetPages(CanvasPages** out) override { return Give(new PagesObject(m_document), out); }
    ChartStatus GetMasters(CanvasMasters** out) override { return Give(new MastersObject(m_document), out); }

    ChartStatus SaveAs(const std::string& fileName, short* result) override
    {
        const bool saved = !m_document->stencil && !fileName.empty() && m_document->drawing.Save(fileName);
        if (result != nullptr) {
            *result = saved ? 0 : -1;
        }
        return saved ? kChartOk : kChartFailed;
    }
};

class SelectionObject : public CanvasObject<CanvasSelection>
{
public:
    explicit SelectionObject(std::shared_ptr<WindowState> window) : m_window(std::move(window)) {}

    ChartStatus Select(CanvasShape* shape, short action) override
    {
        auto* object = dynamic_cast<ShapeObject*>(shape);
        if (object == nullptr || object->Document() != m_window->document) {
            return kChartFailed;
        }
        const auto& top = m_window->document->drawing.TopShapes();
        if (std::find(top.begin(), top.end(), object->Id()) == top.end()) {
            return kChartFailed; // only shapes lying on the page can be selected
        }
        auto& selected = m_window->selected;
        if ((action & kSelectDeselectAll) != 0) {
            selected.clear();
        }
        if ((action & kSelectSelect) != 0) {
            if (std::find(selected.begin(), selected.end(), object->Id()) == selected.end()) {
                selected.push_back(object->Id());
            }
        } else if ((action & 1) != 0) {
            std::erase(selected, object->Id());
        }
        return kChartOk;
    }

    ChartStatus Group(CanvasShape** out) override
    {
        const int id = m_window->document->drawing.Group(m_window->selected);
        if (id == 0) {
            return kChartFailed;
        }
        m_window->selected = {id};
        return Give(new ShapeObject(m_window->document, id), out);
    }

private:
    std::shared_ptr<WindowState> m_window;
};

class WindowObject : public CanvasObject<CanvasWindow>
{
public:
    explicit WindowObject(std::shared_ptr<WindowState> window) : m_window(std::move(window)) {}

    ChartStatus GetSelection(CanvasSelection** out) override { return Give(new SelectionObject(m_window), out); }

    ChartStatus PutViewFit(int fit) override
    {
        if (fit < 0 || fit > 3) {
            return kChartFailed;
        }
        m_window->viewFit = fit;
        return kChartOk;
    }

private:
    std::shared_ptr<WindowState> m_window;
};

class DocumentsObject : public CanvasObject<CanvasDocuments>
{
public:
    explicit DocumentsObject(std::shared_ptr<ApplicationState> app) : m_app(std::move(app)) {}

    ChartStatus Add(const std::string& fileName, CanvasDocument** out) override
    {
        auto document = std::make_shared<DocumentState>();
        if (EndsWithNoCase(fileName, ".vssx")) {
            auto masters = ReadStencil(fileName);
            if (!masters) {
                return kChartFailed;
            }
            document->stencil = true;
            document->stencilMasters = std::move(*masters);
        } else if (EndsWithNoCase(fileName, ".vst") || EndsWithNoCase(fileName, ".vstx")) {
            auto window = std::make_shared<WindowState>();
            window->document = document;
            m_app->activeWindow = window;
        } else {
            return kChartFailed;
        }
        m_app->documents.push_back(document);
        return Give(new DocumentObject(document), out);
    }

private:
    std::shared_ptr<ApplicationState> m_app;
};

class ApplicationObject : public CanvasObject<CanvasApplication>
{
public:
    ApplicationObject() : m_app(std::make_shared<ApplicationState>()) {}

    ChartStatus GetDocuments(CanvasDocuments** out) override { return Give(new DocumentsObject(m_app), out); }

    ChartStatus GetActiveWindow(CanvasWindow** out) override
    {
        if (!m_app->activeWindow) {
            return kChartFailed;
        }
        return Give(new WindowObject(m_app->activeWindow), out);
    }

private:
    std::shared_ptr<ApplicationState> m_app;
};

} // namespace

ChartStatus VsdxCanvasProvider::GetActiveObject(CanvasUnknown** out)
{
    if (out != nullptr) {
        *out = nullptr;
    }
    return kChartFailed;
}

ChartStatus VsdxCanvasProvider::CreateInstance(CanvasApplication** out)
{
    return Give(new ApplicationObject(), out);
}

} // namespace tessvale
