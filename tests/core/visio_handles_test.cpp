#include <gtest/gtest.h>

#include "chart/visio_handles.h"
#include "fakes/recording_canvas.h"

namespace tessvale {
namespace {

// The counting base both canvas backends share, on an object that reports its deletion.
class CountedMaster : public CanvasObject<CanvasMaster>
{
public:
    explicit CountedMaster(bool& deleted) : m_deleted(deleted) {}
    ~CountedMaster() override { m_deleted = true; }

private:
    bool& m_deleted;
};

TEST(CanvasObject, DeletesItselfWithTheLastReference)
{
    bool deleted = false;
    auto* object = new CountedMaster(deleted);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_TRUE(deleted);
}

TEST(CanvasObject, AnswersForItsOwnInterfaceAndUnknownOnly)
{
    bool deleted = false;
    CVisioMaster master;
    {
        auto* object = new CountedMaster(deleted);
        master.TakeOver(object);
        object->Release();
    }
    CanvasUnknown* out = master.Get();
    EXPECT_EQ(master.Get()->QueryInterface(CanvasInterface::Shape, &out), kChartNoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(master.Get()->QueryInterface(CanvasInterface::Master, nullptr), kChartFailed);
    EXPECT_EQ(master.RefCount(), 1u);
    for (const CanvasInterface iid : {CanvasInterface::Master, CanvasInterface::Unknown}) {
        ASSERT_EQ(master.Get()->QueryInterface(iid, &out), kChartOk);
        EXPECT_EQ(out, master.Get());
        EXPECT_EQ(master.RefCount(), 2u);
        out->Release();
    }
    master.Release();
    EXPECT_TRUE(deleted);
}

TEST(VisioHandles, EmptyHandlesFailWithoutCalling)
{
    const ChartStatus empty = kChartEmptyHandle;
    EXPECT_EQ(static_cast<std::uint32_t>(empty), 0x86A54001u);
    CVisioApplication application;
    CVisioDocuments documents;
    CVisioDocument document;
    CVisioPages pages;
    CVisioPage page;
    CVisioMasters masters;
    CVisioShape shape;
    CVisioCell cell;
    CVisioSelection selection;
    CVisioWindow window;
    CVisioWindow windowOut;
    CVisioMaster master;
    short result = 0;
    double value = 0;
    EXPECT_EQ(application.Documents(documents), empty);
    EXPECT_EQ(application.ActiveWindow(windowOut), empty);
    EXPECT_EQ(documents.Add("x.vssx", document), empty);
    EXPECT_EQ(document.Pages(pages), empty);
    EXPECT_EQ(document.Masters(masters), empty);
    EXPECT_EQ(document.SaveAs("x.vsdx", &result), empty);
    EXPECT_EQ(pages.Item(1, page), empty);
    EXPECT_EQ(page.Drop(master, 1, 2, shape), empty);
    EXPECT_EQ(page.ResizeToFitContents(), empty);
    EXPECT_EQ(page.PageSheet(shape), empty);
    EXPECT_EQ(page.CenterDrawing(), empty);
    EXPECT_EQ(masters.Item("PC", master), empty);
    EXPECT_EQ(shape.PutText("x"), empty);
    EXPECT_EQ(shape.Cells("PinX", cell), empty);
    EXPECT_EQ(cell.GlueTo(cell), empty);
    EXPECT_EQ(cell.GetResultIU(&value), empty);
    EXPECT_EQ(cell.PutResultIU(1), empty);
    EXPECT_EQ(selection.Select(shape, 2), empty);
    EXPECT_EQ(selection.Group(shape), empty);
    EXPECT_EQ(window.Selection(selection), empty);
    EXPECT_EQ(window.PutViewFit(2), empty);
    EXPECT_EQ(application.QueryInterface(CanvasInterface::Application, application), empty);
    EXPECT_FALSE(documents.IsSet());
    EXPECT_EQ(application.RefCount(), 0u);
}

class HandleOwnership : public ::testing::Test
{
protected:
    fakes::RecordingProvider provider;
    CVisioApplication application;

    void SetUp() override
    {
        CanvasApplication* created = nullptr;
        ASSERT_EQ(provider.CreateInstance(&created), kChartOk);
        application.TakeOver(created);
        created->Release();
    }
};

TEST_F(HandleOwnership, EachHandleOwnsExactlyOneReference)
{
    EXPECT_EQ(application.RefCount(), 1u);
    {
        CVisioDocuments documents;
        ASSERT_EQ(application.Documents(documents), kChartOk);
        EXPECT_EQ(documents.RefCount(), 1u);
        EXPECT_EQ(provider.record->liveObjects, 2);
        // Taking over the same object again changes nothing.
        documents.TakeOver(documents.Get());
        EXPECT_EQ(documents.RefCount(), 1u);
    }
    EXPECT_EQ(provider.record->liveObjects, 1);
}

TEST_F(HandleOwnership, TakeOverReleasesThePreviousObject)
{
    CVisioDocuments documents;
    ASSERT_EQ(application.Documents(documents), kChartOk);
    ASSERT_EQ(application.Documents(documents), kChartOk);
    EXPECT_EQ(provider.record->liveObjects, 2);
    documents.Release();
    EXPECT_FALSE(documents.IsSet());
    EXPECT_EQ(provider.record->liveObjects, 1);
    application.Release();
    EXPECT_EQ(provider.record->liveObjects, 0);
}

TEST_F(HandleOwnership, FailedCallLeavesTheOutHandleAsItWas)
{
    provider.record->failAt["Application.Documents"] = 1;
    CVisioDocuments documents;
    EXPECT_EQ(application.Documents(documents), kChartFailed);
    EXPECT_FALSE(documents.IsSet());
}

TEST_F(HandleOwnership, HandleOfAnotherKindCallsNothing)
{
    CVisioPage notAPage;
    notAPage.TakeOver(application.Get());
    EXPECT_EQ(notAPage.CenterDrawing(), kChartEmptyHandle);
    EXPECT_TRUE(provider.record->CallsOf("Page.CenterDrawing").empty());
    EXPECT_EQ(application.RefCount(), 2u);
}

TEST_F(HandleOwnership, QueryInterfaceHandsOverOneReference)
{
    CVisioApplication other;
    EXPECT_EQ(application.QueryInterface(CanvasInterface::Application, other), kChartOk);
    EXPECT_EQ(other.Get(), application.Get());
    EXPECT_EQ(application.RefCount(), 2u);
    CVisioUnknown wrong;
    EXPECT_EQ(application.QueryInterface(CanvasInterface::Page, wrong), kChartNoInterface);
    EXPECT_FALSE(wrong.IsSet());
}

} // namespace
} // namespace tessvale
