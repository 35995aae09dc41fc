// Owning handles over chart canvas objects. Each handle owns at most one reference to
// one object and drops it when it is destroyed or emptied, so every object of a drawing
// run is released when the run's handles go out of scope.
#pragma once

#include <cstdint>
#include <string>

#include "chart/chart_canvas.h"

namespace tessvale {

class CVisioUnknown
{
public:
    CVisioUnknown() = default;
    CVisioUnknown(const CVisioUnknown&) = delete;
    CVisioUnknown& operator=(const CVisioUnknown&) = delete;
    virtual ~CVisioUnknown();

    // True when an object is held.
    virtual bool IsSet() const;
    // Takes and drops one reference and returns the count after the drop; 0 when empty.
    virtual std::uint32_t RefCount();
    // Asks the held object for another interface; the result goes into out.
    virtual ChartStatus QueryInterface(CanvasInterface iid, CVisioUnknown& out);
    // Takes one more reference on the held object.
    virtual std::uint32_t AddRef();
    // Drops the held reference and empties the handle.
    virtual void Release();
    // Holds p instead of the current object (taking its own reference), when p differs.
    virtual void TakeOver(CanvasUnknown* p);

    CanvasUnknown* Get() const { return m_p; }

protected:
    // Hands an object returned by a call (carrying one reference) to out and drops
    // the call's reference, so out owns exactly one.
    static void Adopt(CanvasUnknown* returned, CVisioUnknown& out);

    template <typename T> T* As() const { return dynamic_cast<T*>(m_p); }

private:
    CanvasUnknown* m_p = nullptr;
};

class CVisioDocuments;
class CVisioDocument;
class CVisioPages;
class CVisioPage;
class CVisioMasters;
class CVisioMaster;
class CVisioShape;
class CVisioCell;
class CVisioSelection;
class CVisioWindow;

class CVisioApplication : public CVisioUnknown
{
public:
    ChartStatus Documents(CVisioDocuments& out);
    ChartStatus ActiveWindow(CVisioWindow& out);
};

class CVisioDocuments : public CVisioUnknown
{
public:
    ChartStatus Add(const std::string& fileName, CVisioDocument& out);
};

class CVisioDocument : public CVisioUnknown
{
public:
    ChartStatus Pages(CVisioPages& out);
    ChartStatus Masters(CVisioMasters& out);
    ChartStatus SaveAs(const std::string& fileName, short* result);
};

class CVisioPages : public CVisioUnknown
{
public:
    ChartStatus Item(int index, CVisioPage& out);
};

class CVisioPage : public CVisioUnknown
{
public:
    ChartStatus Drop(const CVisioUnknown& objectToDrop, double x, double y, CVisioShape& out);
    ChartStatus ResizeToFitContents();
    ChartStatus PageSheet(CVisioShape& out);
    ChartStatus CenterDrawing();
};

class CVisioMasters : public CVisioUnknown
{
public:
    ChartStatus Item(const std::string& name, CVisioMaster& out);
};

class CVisioMaster : public CVisioUnknown
{};

class CVisioShape : public CVisioUnknown
{
public:
    ChartStatus PutText(const std::string& text);
    ChartStatus Cells(const std::string& cellName, CVisioCell& out);
};

class CVisioCell : public CVisioUnknown
{
public:
    ChartStatus GlueTo(const CVisioCell& target);
    ChartStatus GetResultIU(double* value);
    ChartStatus PutResultIU(double value);
};

class CVisioSelection : public CVisioUnknown
{
public:
    ChartStatus Select(const CVisioShape& shape, short action);
    ChartStatus Group(CVisioShape& out);
};

class CVisioWindow : public CVisioUnknown
{
public:
    ChartStatus Selection(CVisioSelection& out);
    ChartStatus PutViewFit(int fit);
};

} // namespace tessvale
