// Owning handles over chart canvas objects. Each handle owns at most one reference to
// one object and drops it when it is destroyed or emptied, so every object of a drawing
// run is released when the run's handles go out of scope.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>

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
    // Calls the canvas member Member on the held object and returns its status; an empty
    // handle, or one holding an object of another kind, calls nothing. Each argument
    // goes to the member's parameter in its place: a handle given for an object
    // parameter passes its object, a handle given for a yielded object (T**) receives
    // that object, and anything else is passed as it is.
    template <auto Member, typename... Args> ChartStatus Forward(Args&... args);

private:
    // Hands an object returned by a call (carrying one reference) to out and drops
    // the call's reference, so out owns exactly one.
    static void Adopt(CanvasUnknown* returned, CVisioUnknown& out);

    template <typename Param, typename Arg> class Argument;
    template <typename Member> struct MemberOf;

    CanvasUnknown* m_p = nullptr;
};

// One argument of a forwarded call, as the canvas member's parameter Param takes it.
template <typename Param, typename Arg> class CVisioUnknown::Argument
{
    static constexpr bool kHandle = std::derived_from<std::remove_const_t<Arg>, CVisioUnknown>;
    using Pointee = std::remove_pointer_t<Param>;
    // A handle that receives the object the call yields.
    static constexpr bool kYielded = kHandle && std::is_pointer_v<Param> && std::is_pointer_v<Pointee> &&
                                     std::derived_from<std::remove_pointer_t<Pointee>, CanvasUnknown>;
    // A handle whose object the call takes.
    static constexpr bool kObject = kHandle && std::is_pointer_v<Param> && std::derived_from<Pointee, CanvasUnknown>;
    static_assert(!kHandle || kYielded || kObject, "a handle goes only where the member takes or yields an object");
    static_assert(!kYielded || !std::is_const_v<Arg>, "a yielded object needs a handle that can take it");

public:
    explicit Argument(Arg& arg) : m_arg(arg) {}

    Param Pass()
    {
        if constexpr (kYielded) {
            return &m_yielded;
        } else if constexpr (kObject) {
            return dynamic_cast<Param>(m_arg.Get());
        } else {
            return m_arg;
        }
    }

    // After the call: a yielded object goes to its handle.
    void Finish()
    {
        if constexpr (kYielded) {
            Adopt(m_yielded, m_arg);
        }
    }

private:
    struct Nothing
    {};

    Arg& m_arg;
    std::conditional_t<kYielded, Pointee, Nothing> m_yielded{};
};

template <typename Interface, typename... Params> struct CVisioUnknown::MemberOf<ChartStatus (Interface::*)(Params...)>
{
    using Type = Interface;

    template <auto Member, typename... Args> static ChartStatus Call(Interface& object, Args&... args)
    {
        static_assert(sizeof...(Params) == sizeof...(Args), "one argument per parameter of the member");
        std::tuple<Argument<Params, Args>...> arguments(args...);
        const ChartStatus status =
            std::apply([&object](auto&... argument) { return (object.*Member)(argument.Pass()...); }, arguments);
        std::apply([](auto&... argument) { (argument.Finish(), ...); }, arguments);
        return status;
    }
};

template <auto Member, typename... Args> ChartStatus CVisioUnknown::Forward(Args&... args)
{
    using Traits = MemberOf<decltype(Member)>;
    auto* object = dynamic_cast<typename Traits::Type*>(m_p);
    if (object == nullptr) {
        return kChartEmptyHandle;
    }
    return Traits::template Call<Member>(*object, args...);
}

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

// The typed handles: each member calls the one canvas member of the same meaning.

class CVisioApplication : public CVisioUnknown
{
public:
    ChartStatus Documents(CVisioDocuments& out) { return Forward<&CanvasApplication::GetDocuments>(out); }
    ChartStatus ActiveWindow(CVisioWindow& out) { return Forward<&CanvasApplication::GetActiveWindow>(out); }
};

class CVisioDocuments : public CVisioUnknown
{
public:
    ChartStatus Add(const std::string& fileName, CVisioDocument& out)
    {
        return Forward<&CanvasDocuments::Add>(fileName, out);
    }
};

class CVisioDocument : public CVisioUnknown
{
public:
    ChartStatus Pages(CVisioPages& out) { return Forward<&CanvasDocument::GetPages>(out); }
    ChartStatus Masters(CVisioMasters& out) { return Forward<&CanvasDocument::GetMasters>(out); }
    ChartStatus SaveAs(const std::string& fileName, short* result)
    {
        return Forward<&CanvasDocument::SaveAs>(fileName, result);
    }
};

class CVisioPages : public CVisioUnknown
{
public:
    ChartStatus Item(int index, CVisioPage& out) { return Forward<&CanvasPages::GetItem>(index, out); }
};

class CVisioPage : public CVisioUnknown
{
public:
    ChartStatus Drop(const CVisioUnknown& objectToDrop, double x, double y, CVisioShape& out)
    {
        return Forward<&CanvasPage::Drop>(objectToDrop, x, y, out);
    }
    ChartStatus ResizeToFitContents() { return Forward<&CanvasPage::ResizeToFitContents>(); }
    ChartStatus PageSheet(CVisioShape& out) { return Forward<&CanvasPage::GetPageSheet>(out); }
    ChartStatus CenterDrawing() { return Forward<&CanvasPage::CenterDrawing>(); }
};

class CVisioMasters : public CVisioUnknown
{
public:
    ChartStatus Item(const std::string& name, CVisioMaster& out) { return Forward<&CanvasMasters::GetItem>(name, out); }
};

class CVisioMaster : public CVisioUnknown
{};

class CVisioShape : public CVisioUnknown
{
public:
    ChartStatus PutText(const std::string& text) { return Forward<&CanvasShape::PutText>(text); }
    ChartStatus Cells(const std::string& cellName, CVisioCell& out)
    {
        return Forward<&CanvasShape::GetCells>(cellName, out);
    }
};

class CVisioCell : public CVisioUnknown
{
public:
    ChartStatus GlueTo(const CVisioCell& target) { return Forward<&CanvasCell::GlueTo>(target); }
    ChartStatus GetResultIU(double* value) { return Forward<&CanvasCell::GetResultIU>(value); }
    ChartStatus PutResultIU(double value) { return Forward<&CanvasCell::PutResultIU>(value); }
};

class CVisioSelection : public CVisioUnknown
{
public:
    ChartStatus Select(const CVisioShape& shape, short action)
    {
        return Forward<&CanvasSelection::Select>(shape, action);
    }
    ChartStatus Group(CVisioShape& out) { return Forward<&CanvasSelection::Group>(out); }
};

class CVisioWindow : public CVisioUnknown
{
public:
    ChartStatus Selection(CVisioSelection& out) { return Forward<&CanvasWindow::GetSelection>(out); }
    ChartStatus PutViewFit(int fit) { return Forward<&CanvasWindow::PutViewFit>(fit); }
};

} // namespace tessvale
