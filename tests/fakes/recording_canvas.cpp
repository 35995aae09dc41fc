#include "fakes/recording_canvas.h"

#include <sstream>

namespace tessvale::fakes {

bool CanvasRecord::Call(const std::string& member, const std::string& detail)
{
    const int n = ++counts[member];
    const auto it = failAt.find(member);
    const bool fail = it != failAt.end() && it->second == n;
    calls.push_back(member + "(" + detail + ")" + (fail ? " FAILED" : ""));
    return fail;
}

std::vector<std::string> CanvasRecord::CallsOf(const std::string& member) const
{
    std::vector<std::string> result;
    for (const std::string& call : calls) {
        if (call.compare(0, member.size() + 1, member + "(") == 0) {
            result.push_back(call);
        }
    }
    return result;
}

namespace {

std::string Number(double value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

template <typename Interface> class Recorded : public CanvasObject<Interface>
{
public:
    Recorded(std::shared_ptr<CanvasRecord> record, std::string name)
        : m_record(std::move(record)), m_name(std::move(name))
    {
        ++m_record->liveObjects;
    }
    ~Recorded() override { --m_record->liveObjects; }

    // Logged, and can be made to fail like any other call.
    ChartStatus QueryInterface(CanvasInterface iid, CanvasUnknown** out) override
    {
        if (m_record->Call("Object.QueryInterface", m_name)) {
            *out = nullptr;
            return kChartFailed;
        }
        return CanvasObject<Interface>::QueryInterface(iid, out);
    }

    const std::string& Name() const { return m_name; }

protected:
    // Logs the call; on success hands a new object to out.
    template <typename T, typename I>
    ChartStatus Yield(const std::string& member, const std::string& detail, I** out, const std::string& name)
    {
        *out = nullptr;
        if (m_record->Call(member, detail)) {
            return kChartFailed;
        }
        *out = new T(m_record, name);
        return kChartOk;
    }
    ChartStatus Plain(const std::string& member, const std::string& detail)
    {
        return m_record->Call(member, detail) ? kChartFailed : kChartOk;
    }

    std::shared_ptr<CanvasRecord> m_record;
    std::string m_name;
};

template <typename T> std::string NameOf(T* object)
{
    return object == nullptr ? std::string("null") : object->Name();
}

class Cell : public Recorded<CanvasCell>
{
public:
    using Recorded::Recorded;
    ChartStatus GlueTo(CanvasCell* target) override
    {
        return Plain("Cell.GlueTo", m_name + " -> " + NameOf(dynamic_cast<Cell*>(target)));
    }
    ChartStatus GetResultIU(double* value) override
    {
        const ChartStatus status = Plain("Cell.GetResultIU", m_name);
        if (status == kChartOk) {
            *value = 11.25; // a fitted width
        }
        return status;
    }
    ChartStatus PutResultIU(double value) override { return Plain("Cell.PutResultIU", m_name + " = " + Number(value)); }
};

class Shape : public Recorded<CanvasShape>
{
public:
    using Recorded::Recorded;
    ChartStatus PutText(const std::string& text) override
    {
        const ChartStatus status = Plain("Shape.Text", m_name);
        if (status == kChartOk) {
            m_record->texts[m_name] = text;
        }
        return status;
    }
    ChartStatus GetCells(const std::string& cellName, CanvasCell** out) override
    {
        return Yield<Cell>("Shape.Cells", m_name + "." + cellName, out, m_name + "." + cellName);
    }
};

class Master : public Recorded<CanvasMaster>
{
public:
    using Recorded::Recorded;
};

class Masters : public Recorded<CanvasMasters>
{
public:
    using Recorded::Recorded;
    ChartStatus GetItem(const std::string& name, CanvasMaster** out) override
    {
        return Yield<Master>("Masters.Item", name, out, name);
    }
};

class Page : public Recorded<CanvasPage>
{
public:
    using Recorded::Recorded;
    ChartStatus Drop(CanvasUnknown* objectToDrop, double x, double y, CanvasShape** out) override
    {
        const std::string master = NameOf(dynamic_cast<Master*>(objectToDrop));
        const std::string shape = master + "#" + std::to_string(m_record->shapeCount + 1);
        if (objectToDrop == nullptr) {
            // Like the drawing program: nothing to drop is an invalid argument.
            m_record->Call("Page.Drop", master + " " + Number(x) + " " + Number(y));
            *out = nullptr;
            return kChartFailed;
        }
        const ChartStatus status = Yield<Shape>("Page.Drop", master + " " + Number(x) + " " + Number(y), out, shape);
        if (status == kChartOk) {
            ++m_record->shapeCount;
            m_record->drops.push_back({master, x, y, shape});
        }
        return status;
    }
    ChartStatus ResizeToFitContents() override { return Plain("Page.ResizeToFitContents", ""); }
    ChartStatus GetPageSheet(CanvasShape** out) override
    {
        return Yield<Shape>("Page.PageSheet", "", out, "PageSheet");
    }
    ChartStatus CenterDrawing() override { return Plain("Page.CenterDrawing", ""); }
};

class Pages : public Recorded<CanvasPages>
{
public:
    using Recorded::Recorded;
    ChartStatus GetItem(int index, CanvasPage** out) override
    {
        return Yield<Page>("Pages.Item", std::to_string(index), out, "Page" + std::to_string(index));
    }
};

class Document : public Recorded<CanvasDocument>
{
public:
    using Recorded::Recorded;
    ChartStatus GetPages(CanvasPages** out) override { return Yield<Pages>("Document.Pages", m_name, out, "Pages"); }
    ChartStatus GetMasters(CanvasMasters** out) override
    {
        return Yield<Masters>("Document.Masters", m_name, out, "Masters");
    }
    ChartStatus SaveAs(const std::string& fileName, short* result) override
    {
        *result = 0;
        return Plain("Document.SaveAs", m_name + " " + fileName);
    }
};

class Selection : public Recorded<CanvasSelection>
{
public:
    using Recorded::Recorded;
    ChartStatus Select(CanvasShape* shape, short action) override
    {
        return Plain("Selection.Select", NameOf(dynamic_cast<Shape*>(shape)) + " " + std::to_string(action));
    }
    ChartStatus Group(CanvasShape** out) override
    {
        return Yield<Shape>("Selection.Group", "", out, "Group#" + std::to_string(++m_groups));
    }

private:
    int m_groups = 0;
};

class Window : public Recorded<CanvasWindow>
{
public:
    using Recorded::Recorded;
    ChartStatus GetSelection(CanvasSelection** out) override
    {
        return Yield<Selection>("Window.Selection", "", out, "Selection");
    }
    ChartStatus PutViewFit(int fit) override { return Plain("Window.ViewFit", std::to_string(fit)); }
};

class Documents : public Recorded<CanvasDocuments>
{
public:
    using Recorded::Recorded;
    ChartStatus Add(const std::string& fileName, CanvasDocument** out) override
    {
        return Yield<Document>("Documents.Add", fileName, out, fileName);
    }
};

class Application : public Recorded<CanvasApplication>
{
public:
    using Recorded::Recorded;
    ChartStatus GetDocuments(CanvasDocuments** out) override
    {
        return Yield<Documents>("Application.Documents", "", out, "Documents");
    }
    ChartStatus GetActiveWindow(CanvasWindow** out) override
    {
        return Yield<Window>("Application.ActiveWindow", "", out, "Window");
    }
};

} // namespace

ChartStatus RecordingProvider::GetActiveObject(CanvasUnknown** out)
{
    *out = nullptr;
    if (record->Call("Provider.GetActiveObject", "") || !m_running) {
        return kChartFailed;
    }
    *out = new Application(record, "running");
    return kChartOk;
}

ChartStatus RecordingProvider::CreateInstance(CanvasApplication** out)
{
    *out = nullptr;
    if (record->Call("Provider.CreateInstance", "")) {
        return kChartFailed;
    }
    *out = new Application(record, "new");
    return kChartOk;
}

} // namespace tessvale::fakes
