#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "chart/chart_command.h"
#include "chart/network_chart.h"
#include "fakes/recording_canvas.h"

namespace tessvale {
namespace {

using fakes::RecordingProvider;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::HasSubstr;

struct Message
{
    ChartMessageKind kind;
    std::string text;
    bool operator==(const Message&) const = default;
};

class RecordingSink : public ChartMessageSink
{
public:
    void ShowChartMessage(ChartMessageKind kind, const std::string& text) override { messages.push_back({kind, text}); }
    bool AskYesNo(const std::string& text) override
    {
        questions.push_back(text);
        return answer;
    }
    std::vector<Message> messages;
    std::vector<std::string> questions;
    bool answer = true;
};

constexpr ChartMessageKind kPlain = ChartMessageKind::Plain;
constexpr ChartMessageKind kLocalised = ChartMessageKind::Localised;
const ChartPaths kPaths{"/opt/tessvale/NET_1.vssx", "/home/u/.config/Tessvale/subnet.vsdx"};

ChartLists Rows(int n)
{
    ChartLists lists;
    for (int i = 0; i < n; ++i) {
        lists.addresses.push_back("192.168.0." + std::to_string(i + 1));
        lists.macs.push_back("00:11:22:33:44:" + std::to_string(10 + i));
        lists.hostNames.push_back("HOST" + std::to_string(i));
        lists.vendors.push_back("Vendor " + std::to_string(i));
    }
    return lists;
}

class NetworkChartTest : public ::testing::Test
{
protected:
    bool Run(const ChartLists& lists)
    {
        const bool saved = RunChartCommand(lists, sink, provider, kPaths);
        // Every canvas object is released once the command has returned.
        EXPECT_EQ(provider.record->liveObjects, 0);
        return saved;
    }
    const std::vector<std::string>& Calls() const { return provider.record->calls; }

    RecordingSink sink;
    RecordingProvider provider;
};

TEST(ChartLabel, FourLinesWithoutTrailingNewline)
{
    EXPECT_EQ(ChartLabelText("PC1", "10.0.0.5", "00:0C:29:AA:BB:CC", "VMware, Inc."),
              "PC Name: PC1\nIP: 10.0.0.5\nMAC: 00:0C:29:AA:BB:CC\nNet Card Vendor: VMware, Inc.");
    EXPECT_EQ(ChartLabelText("", "", "", ""), "PC Name: \nIP: \nMAC: \nNet Card Vendor: ");
}

TEST(ChartLabel, RouterOnlyForAddressesEndingInDotOne)
{
    EXPECT_TRUE(IsRouterAddress("192.168.0.1"));
    EXPECT_TRUE(IsRouterAddress("10.0.0.1"));
    EXPECT_TRUE(IsRouterAddress(".1"));
    EXPECT_FALSE(IsRouterAddress("192.168.0.11"));
    EXPECT_FALSE(IsRouterAddress("192.168.0.101"));
    EXPECT_FALSE(IsRouterAddress("192.168.0.10"));
    EXPECT_FALSE(IsRouterAddress(""));
    EXPECT_FALSE(IsRouterAddress("1"));
}

TEST(ChartLists, TakeIpMacHostNameAndVendorColumns)
{
    const std::vector<std::vector<std::string>> rows = {
        {"10.0.0.1", "00:11:22:33:44:55", "GW", "cpu", "ram", "share", "sys", "type", "Cisco"},
        {"10.0.0.2"},
    };
    const ChartLists lists = ChartListsFromRows(rows);
    EXPECT_THAT(lists.addresses, ElementsAre("10.0.0.1", "10.0.0.2"));
    EXPECT_THAT(lists.macs, ElementsAre("00:11:22:33:44:55", ""));
    EXPECT_THAT(lists.hostNames, ElementsAre("GW", ""));
    EXPECT_THAT(lists.vendors, ElementsAre("Cisco", ""));
}

TEST_F(NetworkChartTest, OneRowCallSequence)
{
    EXPECT_TRUE(Run(Rows(1)));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_TRUE(sink.questions.empty());
    EXPECT_THAT(Calls(), ElementsAreArray({
                             "Provider.GetActiveObject()",
                             "Provider.CreateInstance()",
                             "Application.Documents()",
                             "Documents.Add(/opt/tessvale/NET_1.vssx)",
                             "Documents.Add(DTLNET_M.VST)",
                             "Document.Pages(DTLNET_M.VST)",
                             "Document.Masters(/opt/tessvale/NET_1.vssx)",
                             "Pages.Item(1)",
                             "Application.ActiveWindow()",
                             "Window.Selection()",
                             "Masters.Item(Workgroup Switches)",
                             "Page.Drop(Workgroup Switches 6 5)",
                             "Masters.Item(Label)",
                             "Page.Drop(Label 7 5)",
                             "Shape.Text(Label#2)",
                             "Selection.Select(Workgroup Switches#1 258)",
                             "Selection.Select(Label#2 2)",
                             "Selection.Group()",
                             "Shape.Cells(Workgroup Switches#1.Connections.X1)",
                             "Masters.Item(Dynamic Connector)",
                             "Page.Drop(Dynamic Connector 6 1.6)",
                             "Masters.Item(Router)",
                             "Page.Drop(Router 6 6.5)",
                             "Masters.Item(Label)",
                             "Page.Drop(Label 6.75 6.5)",
                             "Shape.Text(Label#5)",
                             "Shape.Cells(Dynamic Connector#3.BeginX)",
                             "Cell.GlueTo(Dynamic Connector#3.BeginX -> Workgroup Switches#1.Connections.X1)",
                             "Shape.Cells(Dynamic Connector#3.EndX)",
                             "Shape.Cells(Router#4.Connections.X1)",
                             "Cell.GlueTo(Dynamic Connector#3.EndX -> Router#4.Connections.X1)",
                             "Selection.Select(Label#5 258)",
                             "Selection.Select(Router#4 2)",
                             "Selection.Group()",
                             "Page.ResizeToFitContents()",
                             "Page.PageSheet()",
                             "Shape.Cells(PageSheet.PageWidth)",
                             "Cell.GetResultIU(PageSheet.PageWidth)",
                             "Cell.PutResultIU(PageSheet.PageWidth = 11.75)",
                             "Page.CenterDrawing()",
                             "Window.ViewFit(2)",
                             "Document.SaveAs(DTLNET_M.VST /home/u/.config/Tessvale/subnet.vsdx)",
                         }));
    EXPECT_EQ(provider.record->texts["Label#2"], "Switch");
    EXPECT_EQ(provider.record->texts["Label#5"],
              "PC Name: HOST0\nIP: 192.168.0.1\nMAC: 00:11:22:33:44:10\nNet Card Vendor: Vendor 0");
}

TEST_F(NetworkChartTest, ConnectorDropsAtSinglePrecisionOnePointSix)
{
    Run(Rows(2));
    const auto& drops = provider.record->drops;
    ASSERT_EQ(drops.size(), 2u + 2 * 3);
    EXPECT_EQ(drops[2].master, "Dynamic Connector");
    EXPECT_EQ(drops[2].y, 1.600000023841858);
    EXPECT_NE(drops[2].y, 1.6);
    EXPECT_EQ(drops[5].master, "Dynamic Connector");
    EXPECT_EQ(drops[5].x, 7.0);
}

TEST_F(NetworkChartTest, EmptyListAsksAndNoDoesNothing)
{
    sink.answer = false;
    EXPECT_FALSE(Run(ChartLists{}));
    EXPECT_THAT(sink.questions, ElementsAre("There is no data to draw flow chart, is it continue?"));
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(NetworkChartTest, EmptyListYesDrawsSwitchOnlyAndSaves)
{
    EXPECT_TRUE(Run(ChartLists{}));
    EXPECT_EQ(sink.questions.size(), 1u);
    ASSERT_EQ(provider.record->drops.size(), 2u);
    EXPECT_EQ(provider.record->drops[0].master, "Workgroup Switches");
    EXPECT_EQ(provider.record->drops[1].master, "Label");
    EXPECT_THAT(Calls().back(), HasSubstr("Document.SaveAs("));
    EXPECT_EQ(provider.record->CallsOf("Cell.GlueTo").size(), 0u);
    EXPECT_EQ(provider.record->CallsOf("Selection.Group").size(), 1u);
}

TEST_F(NetworkChartTest, TenRowsAlternateLeftAndRightOneInchLower)
{
    ChartLists lists = Rows(10);
    lists.addresses[3] = "10.0.0.1";
    lists.addresses[5] = "192.168.0.101";
    lists.addresses[7] = "";
    lists.hostNames[2] = "";
    lists.vendors[2] = "";
    EXPECT_TRUE(Run(lists));

    struct Expected
    {
        const char* host;
        double hostX, y;
        const char* label;
        double labelX;
    };
    const Expected expected[] = {
        {"Router", 6.0, 6.5, "Label", 6.75}, {"PC", 4.0, 4, "Label2", 3.5},  {"PC", 8.0, 3, "Label", 8.75},
        {"Router", 4.0, 2, "Label2", 3.5},   {"PC", 8.0, 1, "Label", 8.75},  {"PC", 4.0, 0, "Label2", 3.5},
        {"PC", 8.0, -1, "Label", 8.75},      {"PC", 4.0, -2, "Label2", 3.5}, {"PC", 8.0, -3, "Label", 8.75},
        {"PC", 4.0, -4, "Label2", 3.5},
    };
    const auto& drops = provider.record->drops;
    ASSERT_EQ(drops.size(), 2u + 10 * 3);
    for (std::size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        const auto& connector = drops[2 + 3 * i];
        const auto& host = drops[3 + 3 * i];
        const auto& label = drops[4 + 3 * i];
        EXPECT_EQ(connector.master, "Dynamic Connector");
        EXPECT_EQ(connector.x, i + 6.0);
        EXPECT_EQ(host.master, expected[i].host);
        EXPECT_EQ(host.x, expected[i].hostX);
        EXPECT_EQ(host.y, expected[i].y);
        EXPECT_EQ(label.master, expected[i].label);
        EXPECT_EQ(label.x, expected[i].labelX);
        EXPECT_EQ(label.y, expected[i].y);
        EXPECT_EQ(provider.record->texts[label.shape],
                  ChartLabelText(lists.hostNames[i], lists.addresses[i], lists.macs[i], lists.vendors[i]));
        // Each connector runs from the switch to its own host.
        EXPECT_EQ(provider.record->CallsOf("Cell.GlueTo")[2 * i],
                  "Cell.GlueTo(" + connector.shape + ".BeginX -> Workgroup Switches#1.Connections.X1)");
        EXPECT_EQ(provider.record->CallsOf("Cell.GlueTo")[2 * i + 1],
                  "Cell.GlueTo(" + connector.shape + ".EndX -> " + host.shape + ".Connections.X1)");
    }
    EXPECT_EQ(provider.record->texts[drops[10].shape], "PC Name: \nIP: 192.168.0.3\nMAC: 00:11:22:33:44:12\n"
                                                       "Net Card Vendor: ");
}

TEST_F(NetworkChartTest, RunningApplicationIsReused)
{
    RecordingProvider running(true);
    const ChartLists lists = Rows(1);
    CNetworkChart reused(lists.addresses, lists.macs, lists.hostNames, lists.vendors, running, sink, kPaths);
    EXPECT_TRUE(reused.OpenVisio());
    EXPECT_THAT(running.record->calls,
                ElementsAre("Provider.GetActiveObject()", "Object.QueryInterface(running)", "Application.Documents()",
                            "Documents.Add(/opt/tessvale/NET_1.vssx)", "Documents.Add(DTLNET_M.VST)",
                            "Document.Pages(DTLNET_M.VST)", "Document.Masters(/opt/tessvale/NET_1.vssx)"));
}

TEST_F(NetworkChartTest, ShorterSideListsGiveEmptyFields)
{
    ChartLists lists = Rows(2);
    lists.vendors.resize(1);
    lists.macs.clear();
    EXPECT_TRUE(Run(lists));
    EXPECT_EQ(provider.record->texts[provider.record->drops[7].shape],
              "PC Name: HOST1\nIP: 192.168.0.2\nMAC: \nNet Card Vendor: ");
}

struct FailureCase
{
    const char* member;
    int call;
    int rows;
    ChartMessageKind kind;
    const char* message;
};

class ChartFailureTest : public NetworkChartTest, public ::testing::WithParamInterface<FailureCase>
{};

TEST_P(ChartFailureTest, ShowsItsMessageAndStops)
{
    const FailureCase& c = GetParam();
    provider.record->failAt[c.member] = c.call;
    EXPECT_FALSE(Run(Rows(c.rows)));
    EXPECT_THAT(sink.messages, ElementsAre(Message{c.kind, c.message}));
    ASSERT_FALSE(Calls().empty());
    EXPECT_THAT(Calls().back(), EndsWith("FAILED")) << "a call ran after the failing step";
    EXPECT_EQ(static_cast<int>(provider.record->CallsOf(c.member).size()), c.call);
}

const char* const kNoApplication = "Can not get the Visio Application!\n\nHave you install the Visio Application?";
const char* const kNoStencil = "Can not get the Visio Stencil Documents!\n\nCan not crete Visio chart!";

INSTANTIATE_TEST_SUITE_P(
    EachExaminedStep, ChartFailureTest,
    ::testing::Values(
        FailureCase{"Provider.CreateInstance", 1, 1, kPlain, kNoApplication},
        FailureCase{"Application.Documents", 1, 1, kPlain,
                    "Can not get the Visio Documents!\n\nPlease close all visio windows,and retry!"},
        FailureCase{"Documents.Add", 1, 1, kPlain, kNoStencil}, FailureCase{"Documents.Add", 2, 1, kPlain, kNoStencil},
        FailureCase{"Document.Pages", 1, 1, kPlain, "Can not get the Visio Pages !\n\nCan not crete Visio chart!"},
        FailureCase{"Document.Masters", 1, 1, kPlain, "Can not get the Visio Master !\n\nCan not crete Visio chart!"},
        FailureCase{"Application.ActiveWindow", 1, 1, kLocalised, "Get selection error!"},
        FailureCase{"Window.Selection", 1, 1, kLocalised, "Get selection error!"},
        FailureCase{"Selection.Select", 1, 1, kLocalised, "Select error!"},
        FailureCase{"Selection.Select", 2, 1, kLocalised, "Select error!"},
        FailureCase{"Selection.Group", 1, 1, kLocalised, "Group err!"},
        FailureCase{"Shape.Cells", 1, 1, kPlain, "start - Connections.X1!"},
        FailureCase{"Shape.Cells", 2, 1, kPlain, "begin!"}, FailureCase{"Cell.GlueTo", 1, 1, kPlain, "GlueTo error!"},
        FailureCase{"Shape.Cells", 3, 1, kPlain, "begin!"},
        FailureCase{"Shape.Cells", 4, 1, kPlain, "end Connections.X4!"},
        FailureCase{"Cell.GlueTo", 2, 1, kPlain, "GlueTo error!"},
        FailureCase{"Selection.Select", 3, 1, kLocalised, "Select error!"},
        FailureCase{"Selection.Select", 4, 1, kLocalised, "Select error!"},
        FailureCase{"Selection.Group", 2, 1, kLocalised, "Group err!"},
        FailureCase{"Cell.GlueTo", 3, 10, kPlain, "GlueTo error!"},
        FailureCase{"Selection.Group", 7, 10, kLocalised, "Group err!"},
        FailureCase{"Page.ResizeToFitContents", 1, 1, kLocalised, "Resize error!"},
        FailureCase{"Page.PageSheet", 1, 1, kLocalised, "page sheet error!"},
        FailureCase{"Shape.Cells", 5, 1, kLocalised, "width cell error!"},
        FailureCase{"Cell.GetResultIU", 1, 1, kLocalised, "get page width error!"},
        FailureCase{"Cell.PutResultIU", 1, 1, kLocalised, "put page width error!"},
        FailureCase{"Page.CenterDrawing", 1, 1, kLocalised, "centerdrawing error!"},
        FailureCase{"Window.ViewFit", 1, 1, kLocalised, "putViewFit error!"},
        FailureCase{"Document.SaveAs", 1, 1, kLocalised, "SaveError!"},
        FailureCase{"Document.SaveAs", 1, 0, kLocalised, "SaveError!"}));

TEST_F(NetworkChartTest, NoApplicationShowsOnlyItsMessage)
{
    provider.record->failAt["Provider.CreateInstance"] = 1;
    EXPECT_FALSE(Run(Rows(3)));
    EXPECT_THAT(Calls(), ElementsAre("Provider.GetActiveObject()", "Provider.CreateInstance() FAILED"));
}

TEST_F(NetworkChartTest, MissingConnectorMasterEndsInBegin)
{
    // The unexamined master lookup fails; the empty connector handle then fails its
    // Cells call without reaching the canvas.
    provider.record->failAt["Masters.Item"] = 3;
    EXPECT_FALSE(Run(Rows(1)));
    EXPECT_THAT(sink.messages, ElementsAre(Message{kPlain, "begin!"}));
    EXPECT_EQ(provider.record->CallsOf("Shape.Cells").size(), 1u); // only the switch point
    EXPECT_THAT(provider.record->CallsOf("Page.Drop")[2], HasSubstr("Page.Drop(null"));
    EXPECT_TRUE(provider.record->CallsOf("Document.SaveAs").empty());
}

TEST_F(NetworkChartTest, MissingHostShapeEndsInEndMessage)
{
    provider.record->failAt["Page.Drop"] = 4; // the host of row 0
    EXPECT_FALSE(Run(Rows(1)));
    EXPECT_THAT(sink.messages, ElementsAre(Message{kPlain, "end Connections.X4!"}));
    EXPECT_THAT(Calls().back(), EndsWith("Shape.Cells(Dynamic Connector#3.EndX)"));
}

TEST_F(NetworkChartTest, FailedLabelTextIsNotExamined)
{
    provider.record->failAt["Shape.Text"] = 2;
    EXPECT_TRUE(Run(Rows(2)));
    EXPECT_TRUE(sink.messages.empty());
}

} // namespace
} // namespace tessvale
