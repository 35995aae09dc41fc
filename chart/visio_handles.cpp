#include "chart/visio_handles.h"

namespace tessvale {

CVisioUnknown::~CVisioUnknown()
{
    if (m_p != nullptr) {
        m_p->Release();
    }
}

bool CVisioUnknown::IsSet() const
{
    return m_p != nullptr;
}

std::uint32_t CVisioUnknown::RefCount()
{
    if (m_p == nullptr) {
        return 0;
    }
    m_p->AddRef();
    return m_p->Release();
}

ChartStatus CVisioUnknown::QueryInterface(CanvasInterface iid, CVisioUnknown& out)
{
    if (m_p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasUnknown* result = nullptr;
    const ChartStatus status = m_p->QueryInterface(iid, &result);
    Adopt(result, out);
    return status;
}

std::uint32_t CVisioUnknown::AddRef()
{
    return m_p != nullptr ? m_p->AddRef() : 0;
}

void CVisioUnknown::Release()
{
    if (m_p != nullptr) {
        CanvasUnknown* p = m_p;
        m_p = nullptr;
        p->Release();
    }
}

void CVisioUnknown::TakeOver(CanvasUnknown* p)
{
    if (p == m_p) {
        return;
    }
    Release();
    m_p = p;
    if (m_p != nullptr) {
        m_p->AddRef();
    }
}

void CVisioUnknown::Adopt(CanvasUnknown* returned, CVisioUnknown& out)
{
    if (returned == nullptr) {
        return;
    }
    out.TakeOver(returned);
    returned->Release();
}

// Each member below calls one canvas member and returns its status; an empty handle
// (or one holding an object of another kind) calls nothing.

ChartStatus CVisioApplication::Documents(CVisioDocuments& out)
{
    auto* p = As<CanvasApplication>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasDocuments* result = nullptr;
    const ChartStatus status = p->GetDocuments(&result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioApplication::ActiveWindow(CVisioWindow& out)
{
    auto* p = As<CanvasApplication>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasWindow* result = nullptr;
    const ChartStatus status = p->GetActiveWindow(&result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioDocuments::Add(const std::string& fileName, CVisioDocument& out)
{
    auto* p = As<CanvasDocuments>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasDocument* result = nullptr;
    const ChartStatus status = p->Add(fileName, &result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioDocument::Pages(CVisioPages& out)
{
    auto* p = As<CanvasDocument>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasPages* result = nullptr;
    const ChartStatus status = p->GetPages(&result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioDocument::Masters(CVisioMasters& out)
{
    auto* p = As<CanvasDocument>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasMasters* result = nullptr;
    const ChartStatus status = p->GetMasters(&result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioDocument::SaveAs(const std::string& fileName, short* result)
{
    auto* p = As<CanvasDocument>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    return p->SaveAs(fileName, result);
}

ChartStatus CVisioPages::Item(int index, CVisioPage& out)
{
    auto* p = As<CanvasPages>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasPage* result = nullptr;
    const ChartStatus status = p->GetItem(index, &result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioPage::Drop(const CVisioUnknown& objectToDrop, double x, double y, CVisioShape& out)
{
    auto* p = As<CanvasPage>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasShape* result = nullptr;
    const ChartStatus status = p->Drop(objectToDrop.Get(), x, y, &result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioPage::ResizeToFitContents()
{
    auto* p = As<CanvasPage>();
    return p == nullptr ? kChartEmptyHandle : p->ResizeToFitContents();
}

ChartStatus CVisioPage::PageSheet(CVisioShape& out)
{
    auto* p = As<CanvasPage>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasShape* result = nullptr;
    const ChartStatus status = p->GetPageSheet(&result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioPage::CenterDrawing()
{
    auto* p = As<CanvasPage>();
    return p == nullptr ? kChartEmptyHandle : p->CenterDrawing();
}

ChartStatus CVisioMasters::Item(const std::string& name, CVisioMaster& out)
{
    auto* p = As<CanvasMasters>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasMaster* result = nullptr;
    const ChartStatus status = p->GetItem(name, &result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioShape::PutText(const std::string& text)
{
    auto* p = As<CanvasShape>();
    return p == nullptr ? kChartEmptyHandle : p->PutText(text);
}

ChartStatus CVisioShape::Cells(const std::string& cellName, CVisioCell& out)
{
    auto* p = As<CanvasShape>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasCell* result = nullptr;
    const ChartStatus status = p->GetCells(cellName, &result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioCell::GlueTo(const CVisioCell& target)
{
    auto* p = As<CanvasCell>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    return p->GlueTo(dynamic_cast<CanvasCell*>(target.Get()));
}

ChartStatus CVisioCell::GetResultIU(double* value)
{
    auto* p = As<CanvasCell>();
    return p == nullptr ? kChartEmptyHandle : p->GetResultIU(value);
}

ChartStatus CVisioCell::PutResultIU(double value)
{
    auto* p = As<CanvasCell>();
    return p == nullptr ? kChartEmptyHandle : p->PutResultIU(value);
}

ChartStatus CVisioSelection::Select(const CVisioShape& shape, short action)
{
    auto* p = As<CanvasSelection>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    return p->Select(dynamic_cast<CanvasShape*>(shape.Get()), action);
}

ChartStatus CVisioSelection::Group(CVisioShape& out)
{
    auto* p = As<CanvasSelection>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasShape* result = nullptr;
    const ChartStatus status = p->Group(&result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioWindow::Selection(CVisioSelection& out)
{
    auto* p = As<CanvasWindow>();
    if (p == nullptr) {
        return kChartEmptyHandle;
    }
    CanvasSelection* result = nullptr;
    const ChartStatus status = p->GetSelection(&result);
    Adopt(result, out);
    return status;
}

ChartStatus CVisioWindow::PutViewFit(int fit)
{
    auto* p = As<CanvasWindow>();
    return p == nullptr ? kChartEmptyHandle : p->PutViewFit(fit);
}

} // namespace tessvale
