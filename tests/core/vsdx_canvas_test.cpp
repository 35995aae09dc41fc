#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "chart/chart_command.h"
#include "chart/net_stencil.h"
#include "chart/visio_handles.h"
#include "chart/vsdx_canvas.h"
#include "chart/vsdx_drawing.h"
#include "chart/vsdx_package.h"
#include "fakes/environment_guard.h"

namespace tessvale {
namespace {

namespace fs = std::filesystem;

class RecordingSink : public ChartMessageSink
{
public:
    void ShowChartMessage(ChartMessageKind kind, const std::string& text) override
    {
        kinds.push_back(kind);
        messages.push_back(text);
    }
    bool AskYesNo(const std::string&) override { return true; }
    std::vector<ChartMessageKind> kinds;
    std::vector<std::string> messages;
};

// One shape of the written page, with the cells the checks need.
struct WrittenShape
{
    int id = 0;
    int parent = 0;
    std::string master;
    std::string text;
    std::map<std::string, double> cells;
    std::vector<std::pair<double, double>> connections;
};

struct WrittenDrawing
{
    std::map<int, WrittenShape> shapes;
    std::vector<int> top;
    std::vector<pugi::xml_node> connects;
    pugi::xml_document page;
    double pageWidth = 0;
    double pageHeight = 0;

    // Page position of a point in a shape's own coordinates.
    std::pair<double, double> PagePoint(int id, double x, double y) const
    {
        for (int s = id; s != 0; s = shapes.at(s).parent) {
            const auto& c = shapes.at(s).cells;
            x += c.at("PinX") - c.at("LocPinX");
            y += c.at("PinY") - c.at("LocPinY");
        }
        return {x, y};
    }
};

void ReadShapes(WrittenDrawing& drawing, pugi::xml_node shapes, int parent,
                const std::map<std::string, std::string>& masterNames)
{
    for (auto node : shapes.children("Shape")) {
        WrittenShape shape;
        shape.id = node.attribute("ID").as_int();
        shape.parent = parent;
        const auto master = masterNames.find(node.attribute("Master").value());
        shape.master = master == masterNames.end() ? std::string() : master->second;
        shape.text = node.child("Text").text().get();
        for (auto cell : node.children("Cell")) {
            shape.cells[cell.attribute("N").value()] = cell.attribute("V").as_double();
        }
        for (auto section : node.children("Section")) {
            if (std::string_view(section.attribute("N").value()) == "Connection") {
                for (auto row : section.children("Row")) {
                    shape.connections.emplace_back(
                        row.find_child_by_attribute("Cell", "N", "X").attribute("V").as_double(),
                        row.find_child_by_attribute("Cell", "N", "Y").attribute("V").as_double());
                }
            }
        }
        if (parent == 0) {
            drawing.top.push_back(shape.id);
        }
        drawing.shapes[shape.id] = shape;
        ReadShapes(drawing, node.child("Shapes"), shape.id, masterNames);
    }
}

// Reads the package the way any reader would: every part must parse and be typed.
WrittenDrawing ReadDrawing(const std::string& path)
{
    WrittenDrawing drawing;
    const auto entries = ReadPackage(path);
    EXPECT_TRUE(entries.has_value()) << "not a readable zip: " << path;
    if (!entries) {
        return drawing;
    }
    pugi::xml_document types;
    EXPECT_TRUE(types.load_string(entries->at("[Content_Types].xml").c_str()));
    for (const auto& [name, data] : *entries) {
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_buffer(data.data(), data.size())) << name;
        if (name.ends_with(".xml") && name != "[Content_Types].xml") {
            EXPECT_TRUE(types.child("Types").find_child_by_attribute("Override", "PartName", ("/" + name).c_str()))
                << "no content type for " << name;
        }
    }
    std::map<std::string, std::string> masterNames;
    pugi::xml_document masters;
    EXPECT_TRUE(masters.load_string(entries->at("visio/masters/masters.xml").c_str()));
    for (auto master : masters.child("Masters").children("Master")) {
        masterNames[master.attribute("ID").value()] = master.attribute("NameU").value();
    }
    pugi::xml_document pages;
    EXPECT_TRUE(pages.load_string(entries->at("visio/pages/pages.xml").c_str()));
    const auto sheet = pages.child("Pages").child("Page").child("PageSheet");
    drawing.pageWidth = sheet.find_child_by_attribute("Cell", "N", "PageWidth").attribute("V").as_double();
    drawing.pageHeight = sheet.find_child_by_attribute("Cell", "N", "PageHeight").attribute("V").as_double();
    EXPECT_TRUE(drawing.page.load_string(entries->at("visio/pages/page1.xml").c_str()));
    const auto contents = drawing.page.child("PageContents");
    ReadShapes(drawing, contents.child("Shapes"), 0, masterNames);
    for (auto connect : contents.child("Connects").children("Connect")) {
        drawing.connects.push_back(connect);
    }
    return drawing;
}

ChartLists Rows(int n)
{
    ChartLists lists;
    for (int i = 0; i < n; ++i) {
        lists.addresses.push_back(i % 4 == 0 ? "10.0." + std::to_string(i) + ".1" : "10.0.0." + std::to_string(20 + i));
        lists.macs.push_back("00:50:56:00:00:" + std::to_string(10 + i));
        lists.hostNames.push_back(i == 2 ? "" : "H" + std::to_string(i));
        lists.vendors.emplace_back(i == 3 ? "" : "VMware, Inc.");
    }
    return lists;
}

class VsdxChartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tessvale-chart-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        stencil = m_dir + "/NET_1.vssx";
        save = m_dir + "/subnet.vsdx";
        ASSERT_TRUE(WriteNetStencil(stencil));
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, ec);
        fs::remove_all(m_dir, ec);
    }
    bool Draw(const ChartLists& lists)
    {
        VsdxCanvasProvider provider;
        return RunChartCommand(lists, sink, provider, ChartPaths{stencil, save});
    }

    std::string m_dir;
    std::string stencil;
    std::string save;
    RecordingSink sink;
};

class VsdxChartRows : public VsdxChartTest, public ::testing::WithParamInterface<int>
{};

TEST_P(VsdxChartRows, WrittenDrawingHoldsTheGluedNetwork)
{
    const int n = GetParam();
    const ChartLists lists = Rows(n);
    ASSERT_TRUE(Draw(lists));
    EXPECT_TRUE(sink.messages.empty());
    const WrittenDrawing drawing = ReadDrawing(save);

    std::vector<int> switches;
    std::vector<int> connectors;
    std::map<std::string, int> labelsByText;
    for (const auto& [id, shape] : drawing.shapes) {
        if (shape.master == "Workgroup Switches") {
            switches.push_back(id);
        } else if (shape.master == "Dynamic Connector") {
            connectors.push_back(id);
        } else if (shape.master == "Label" || shape.master == "Label2") {
            labelsByText[shape.text] = id;
        }
    }
    ASSERT_EQ(switches.size(), 1u);
    const int switchId = switches[0];
    EXPECT_EQ(labelsByText.count("Switch"), 1u);
    EXPECT_EQ(static_cast<int>(connectors.size()), n);
    EXPECT_EQ(static_cast<int>(labelsByText.size()), n + 1);

    // Each row: its label grouped with a host of the right kind.
    std::set<int> hosts;
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        const std::string text =
            ChartLabelText(lists.hostNames[i], lists.addresses[i], lists.macs[i], lists.vendors[i]);
        ASSERT_EQ(labelsByText.count(text), 1u);
        const WrittenShape& label = drawing.shapes.at(labelsByText.at(text));
        EXPECT_EQ(label.master, i % 2 == 1 ? "Label2" : "Label");
        ASSERT_NE(label.parent, 0);
        int host = 0;
        for (const auto& [id, shape] : drawing.shapes) {
            if (shape.parent == label.parent && id != label.id) {
                host = id;
            }
        }
        ASSERT_NE(host, 0);
        EXPECT_EQ(drawing.shapes.at(host).master, IsRouterAddress(lists.addresses[i]) ? "Router" : "PC");
        hosts.insert(host);
    }
    EXPECT_EQ(static_cast<int>(hosts.size()), n);

    // Each connector: begin glued to the switch, end to a host, both at the points.
    std::set<int> gluedHosts;
    for (int connector : connectors) {
        SCOPED_TRACE(connector);
        const auto& cells = drawing.shapes.at(connector).cells;
        int begins = 0;
        int ends = 0;
        for (const auto& connect : drawing.connects) {
            if (connect.attribute("FromSheet").as_int() != connector) {
                continue;
            }
            EXPECT_STREQ(connect.attribute("ToCell").value(), "Connections.X1");
            const int to = connect.attribute("ToSheet").as_int();
            const auto& point = drawing.shapes.at(to).connections.at(0);
            const auto at = drawing.PagePoint(to, point.first, point.second);
            const bool begin = std::string_view(connect.attribute("FromCell").value()) == "BeginX";
            if (begin) {
                ++begins;
                EXPECT_EQ(to, switchId);
            } else {
                ++ends;
                EXPECT_TRUE(hosts.count(to));
                gluedHosts.insert(to);
            }
            EXPECT_NEAR(cells.at(begin ? "BeginX" : "EndX"), at.first, 1e-9);
            EXPECT_NEAR(cells.at(begin ? "BeginY" : "EndY"), at.second, 1e-9);
        }
        EXPECT_EQ(begins, 1);
        EXPECT_EQ(ends, 1);
    }
    EXPECT_EQ(gluedHosts, hosts);

    // The page fits the drawing with its margins, is half an inch wider, and the
    // drawing sits in its middle.
    double left = 1e9;
    double right = -1e9;
    double bottom = 1e9;
    double top = -1e9;
    for (int id : drawing.top) {
        const auto& c = drawing.shapes.at(id).cells;
        if (c.count("BeginX")) {
            left = std::min({left, c.at("BeginX"), c.at("EndX")});
            right = std::max({right, c.at("BeginX"), c.at("EndX")});
            bottom = std::min({bottom, c.at("BeginY"), c.at("EndY")});
            top = std::max({top, c.at("BeginY"), c.at("EndY")});
        } else {
            left = std::min(left, c.at("PinX") - c.at("LocPinX"));
            right = std::max(right, c.at("PinX") - c.at("LocPinX") + c.at("Width"));
            bottom = std::min(bottom, c.at("PinY") - c.at("LocPinY"));
            top = std::max(top, c.at("PinY") - c.at("LocPinY") + c.at("Height"));
        }
    }
    const double fittedWidth = (right - left) + 2 * VsdxDrawing::kPageMargin;
    EXPECT_NEAR(drawing.pageWidth, fittedWidth + 0.5, 1e-9);
    EXPECT_NEAR(drawing.pageHeight, (top - bottom) + 2 * VsdxDrawing::kPageMargin, 1e-9);
    EXPECT_NEAR(left, drawing.pageWidth - right, 1e-9);
    EXPECT_NEAR(bottom, drawing.pageHeight - top, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Rows, VsdxChartRows, ::testing::Values(0, 1, 10));

TEST_F(VsdxChartTest, MissingStencilGivesTheStencilMessage)
{
    fs::remove(stencil);
    EXPECT_FALSE(Draw(Rows(2)));
    EXPECT_THAT(sink.messages,
                ::testing::ElementsAre("Can not get the Visio Stencil Documents!\n\nCan not crete Visio chart!"));
    EXPECT_EQ(sink.kinds.front(), ChartMessageKind::Plain);
    EXPECT_FALSE(fs::exists(save));
}

TEST_F(VsdxChartTest, UnwritableDataFolderGivesSaveError)
{
    save = m_dir + "/missing/subnet.vsdx";
    EXPECT_FALSE(Draw(Rows(1)));
    save = stencil + "/subnet.vsdx"; // the folder is a file
    EXPECT_FALSE(Draw(Rows(1)));
    EXPECT_THAT(sink.messages, ::testing::ElementsAre("SaveError!", "SaveError!"));
    EXPECT_EQ(sink.kinds.back(), ChartMessageKind::Localised);
    EXPECT_FALSE(fs::exists(m_dir + "/missing"));
    if (geteuid() != 0) {
        const std::string folder = m_dir + "/readonly";
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        save = folder + "/subnet.vsdx";
        EXPECT_FALSE(Draw(Rows(1)));
        EXPECT_EQ(sink.messages.size(), 3u);
        EXPECT_FALSE(fs::exists(save));
    }
}

TEST_F(VsdxChartTest, FreshInstallSavesIntoANewDataFolder)
{
    // Nothing has saved settings yet, so the data folder does not exist.
    test::EnvironmentGuard environment;
    environment.Set("APPDATA", (m_dir + "/fresh").c_str());
    save = DefaultChartPaths().savePath;
    EXPECT_EQ(save, m_dir + "/fresh/Tessvale/subnet.vsdx");
    EXPECT_TRUE(Draw(Rows(1)));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_TRUE(fs::is_regular_file(save));
}

TEST_F(VsdxChartTest, SecondRunReplacesTheDrawing)
{
    ASSERT_TRUE(Draw(Rows(3)));
    ASSERT_TRUE(Draw(Rows(1)));
    const WrittenDrawing drawing = ReadDrawing(save);
    int connectors = 0;
    for (const auto& [id, shape] : drawing.shapes) {
        connectors += shape.master == "Dynamic Connector" ? 1 : 0;
    }
    EXPECT_EQ(connectors, 1);
}

TEST(NetStencil, ShippedStencilHoldsTheSixMasters)
{
    {
        const std::string path = TESSVALE_BUILT_STENCIL;
        const auto masters = ReadStencil(path);
        ASSERT_TRUE(masters.has_value()) << path;
        std::map<std::string, const VsdxMaster*> byName;
        for (const auto& master : *masters) {
            byName[master.nameU] = &master;
        }
        ASSERT_EQ(byName.size(), 6u);
        for (const char* host : {"Workgroup Switches", "Router", "PC"}) {
            ASSERT_TRUE(byName.count(host)) << host;
            EXPECT_EQ(byName[host]->connections.size(), 1u) << host;
            EXPECT_FALSE(byName[host]->oneD);
        }
        ASSERT_TRUE(byName.count("Dynamic Connector"));
        EXPECT_TRUE(byName["Dynamic Connector"]->oneD);
        EXPECT_TRUE(byName.count("Label"));
        EXPECT_TRUE(byName.count("Label2"));
    }
}

// The canvas keeps the rules of the drawing program the chart relies on.
class VsdxCanvasRules : public VsdxChartTest
{
protected:
    void SetUp() override
    {
        VsdxChartTest::SetUp();
        CanvasApplication* created = nullptr;
        ASSERT_EQ(provider.CreateInstance(&created), kChartOk);
        app.TakeOver(created);
        created->Release();
        ASSERT_EQ(app.Documents(documents), kChartOk);
        ASSERT_EQ(documents.Add(stencil, stencilDoc), kChartOk);
        ASSERT_EQ(documents.Add("DTLNET_M.VST", drawing), kChartOk);
        ASSERT_EQ(stencilDoc.Masters(masters), kChartOk);
        ASSERT_EQ(drawing.Pages(pages), kChartOk);
        ASSERT_EQ(pages.Item(1, page), kChartOk);
    }
    void DropShape(const char* name, double x, double y, CVisioShape& shape)
    {
        CVisioMaster master;
        EXPECT_EQ(masters.Item(name, master), kChartOk);
        EXPECT_EQ(page.Drop(master, x, y, shape), kChartOk);
    }

    VsdxCanvasProvider provider;
    CVisioApplication app;
    CVisioDocuments documents;
    CVisioDocument stencilDoc;
    CVisioDocument drawing;
    CVisioMasters masters;
    CVisioPages pages;
    CVisioPage page;
};

TEST_F(VsdxCanvasRules, CellsAndGlue)
{
    CVisioShape pc;
    DropShape("PC", 1, 1, pc);
    CVisioShape connector;
    DropShape("Dynamic Connector", 3, 3, connector);
    CVisioCell cell;
    EXPECT_EQ(pc.Cells("BeginX", cell), kChartFailed);
    EXPECT_EQ(pc.Cells("Connections.X2", cell), kChartFailed);
    EXPECT_EQ(pc.Cells("Connections.X0", cell), kChartFailed);
    EXPECT_EQ(pc.Cells("NoSuchCell", cell), kChartFailed);
    CVisioCell point;
    ASSERT_EQ(pc.Cells("Connections.X1", point), kChartOk);
    CVisioCell pin;
    ASSERT_EQ(pc.Cells("PinX", pin), kChartOk);
    CVisioCell begin;
    ASSERT_EQ(connector.Cells("BeginX", begin), kChartOk);
    EXPECT_EQ(pin.GlueTo(point), kChartFailed);
    EXPECT_EQ(begin.GlueTo(pin), kChartFailed);
    EXPECT_EQ(begin.GlueTo(point), kChartOk);
    double x = 0;
    ASSERT_EQ(begin.GetResultIU(&x), kChartOk);
    EXPECT_DOUBLE_EQ(x, 1.0); // the PC's middle
}

TEST_F(VsdxCanvasRules, OnlyShapesOnThePageCanBeSelected)
{
    CVisioWindow window;
    CVisioSelection selection;
    ASSERT_EQ(app.ActiveWindow(window), kChartOk);
    ASSERT_EQ(window.Selection(selection), kChartOk);
    CVisioShape group;
    EXPECT_EQ(selection.Group(group), kChartFailed); // nothing selected
    CVisioShape a;
    DropShape("PC", 1, 1, a);
    CVisioShape b;
    DropShape("Label", 2, 1, b);
    ASSERT_EQ(selection.Select(a, kSelectDeselectAllThenSelect), kChartOk);
    ASSERT_EQ(selection.Select(b, kSelectSelect), kChartOk);
    ASSERT_EQ(selection.Group(group), kChartOk);
    EXPECT_EQ(selection.Select(a, kSelectDeselectAllThenSelect), kChartFailed);
    EXPECT_EQ(selection.Select(group, kSelectDeselectAllThenSelect), kChartOk);
    EXPECT_EQ(window.PutViewFit(kViewFitPageWidth), kChartOk);
}

TEST_F(VsdxCanvasRules, DocumentsAndCollections)
{
    CVisioPage second;
    EXPECT_EQ(pages.Item(2, second), kChartFailed);
    CVisioMaster missing;
    EXPECT_EQ(masters.Item("Nope", missing), kChartFailed);
    short result = 0;
    EXPECT_EQ(stencilDoc.SaveAs(m_dir + "/copy.vsdx", &result), kChartFailed);
    CVisioDocument other;
    EXPECT_EQ(documents.Add(m_dir + "/none.vssx", other), kChartFailed);
    EXPECT_EQ(documents.Add(m_dir + "/file.txt", other), kChartFailed);
    CVisioShape sheet;
    ASSERT_EQ(page.PageSheet(sheet), kChartOk);
    CVisioCell width;
    ASSERT_EQ(sheet.Cells("PageWidth", width), kChartOk);
    EXPECT_EQ(width.PutResultIU(0), kChartFailed);
    EXPECT_EQ(width.PutResultIU(12.5), kChartOk);
    double value = 0;
    ASSERT_EQ(width.GetResultIU(&value), kChartOk);
    EXPECT_EQ(value, 12.5);
}

} // namespace
} // namespace tessvale
