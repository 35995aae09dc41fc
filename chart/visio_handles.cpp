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

} // namespace tessvale
