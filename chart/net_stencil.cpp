#include "chart/net_stencil.h"

#include <array>
#include <sstream>

#include <pugixml.hpp>

#include "chart/vsdx_package.h"

namespace tessvale {

namespace {

constexpr double kLineWeight = 1.0 / 72; // 1 pt
constexpr double kLabelWidth = 2.5;
constexpr double kLabelHeight = 0.7;
constexpr double kLabelFontSize = 8.0 / 72;

void ColourCell(pugi::xml_node node, const char* name, const char* value)
{
    auto cell = node.append_child("Cell");
    cell.append_attribute("N") = name;
    cell.append_attribute("V") = value;
}

// One geometry path of a shape; rows are added in order.
class Path
{
public:
    Path(pugi::xml_node shape, int index, bool fill, bool line = true)
    {
        m_section = shape.append_child("Section");
        m_section.append_attribute("N") = "Geometry";
        m_section.append_attribute("IX") = index;
        AddCell(m_section, "NoFill", fill ? 0 : 1);
        AddCell(m_section, "NoLine", line ? 0 : 1);
        AddCell(m_section, "NoShow", 0);
        AddCell(m_section, "NoSnap", 0);
    }

    Path& Move(double x, double y) { return Row("MoveTo", x, y); }
    Path& Line(double x, double y) { return Row("LineTo", x, y); }

    Path& Rect(double x0, double y0, double x1, double y1)
    {
        return Move(x0, y0).Line(x1, y0).Line(x1, y1).Line(x0, y1).Line(x0, y0);
    }

    Path& Ellipse(double cx, double cy, double rx, double ry)
    {
        return Row("Ellipse", cx, cy, {cx + rx, cy, cx, cy + ry});
    }

    // An arc of an ellipse to (x, y) through (a, b); c is the angle of the major axis,
    // d the ratio of the major to the minor axis.
    Path& EllipticalArc(double x, double y, double a, double b, double c, double d)
    {
        return Row("EllipticalArcTo", x, y, {a, b, c, d});
    }

private:
    Path& Row(const char* type, double x, double y)
    {
        AddRow(m_section, type, m_row++, x, y);
        return *this;
    }

    // A row with the A to D cells of a curve after its X and Y.
    Path& Row(const char* type, double x, double y, const std::array<double, 4>& abcd)
    {
        auto row = AddRow(m_section, type, m_row++, x, y);
        AddCell(row, "A", abcd[0]);
        AddCell(row, "B", abcd[1]);
        AddCell(row, "C", abcd[2]);
        AddCell(row, "D", abcd[3]);
        return *this;
    }

    pugi::xml_node m_section;
    int m_row = 1;
};

struct MasterBuilder
{
    pugi::xml_document contents;
    pugi::xml_node shape;

    MasterBuilder(double width, double height, double locPinX, double locPinY)
    {
        auto root = AddVisioRoot(contents, "MasterContents");
        shape = root.append_child("Shapes").append_child("Shape");
        shape.append_attribute("ID") = 5;
        shape.append_attribute("Type") = "Shape";
        shape.append_attribute("LineStyle") = 0;
        shape.append_attribute("FillStyle") = 0;
        shape.append_attribute("TextStyle") = 0;
        AddCell(shape, "PinX", locPinX);
        AddCell(shape, "PinY", locPinY);
        AddCell(shape, "Width", width);
        AddCell(shape, "Height", height);
        AddCell(shape, "LocPinX", locPinX);
        AddCell(shape, "LocPinY", locPinY);
        AddCell(shape, "Angle", 0);
        AddCell(shape, "FlipX", 0);
        AddCell(shape, "FlipY", 0);
        AddCell(shape, "ResizeMode", 0);
    }

    void Colours(const char* fill, const char* line)
    {
        AddCell(shape, "LineWeight", kLineWeight);
        ColourCell(shape, "LineColor", line);
        AddCell(shape, "LinePattern", 1);
        ColourCell(shape, "FillForegnd", fill);
        AddCell(shape, "FillPattern", 1);
        AddCell(shape, "ShdwPattern", 0);
    }

    void ConnectionAtMiddle(double width, double height)
    {
        auto section = shape.append_child("Section");
        section.append_attribute("N") = "Connection";
        auto row = section.append_child("Row");
        row.append_attribute("IX") = 0;
        AddCell(row, "X", width / 2, "Width*0.5");
        AddCell(row, "Y", height / 2, "Height*0.5");
        AddCell(row, "DirX", 0);
        AddCell(row, "DirY", 0);
        AddCell(row, "Type", 0);
        AddCell(row, "AutoGen", 0);
    }

    VsdxMaster Finish(const char* name, int number, double width, double height, bool oneD = false)
    {
        pugi::xml_document fragment;
        auto master = fragment.append_child("Master");
        master.append_attribute("ID") = number;
        master.append_attribute("NameU") = name;
        master.append_attribute("IsCustomNameU") = 1;
        master.append_attribute("Name") = name;
        master.append_attribute("IsCustomName") = 1;
        master.append_attribute("Prompt") = "";
        master.append_attribute("IconSize") = 1;
        master.append_attribute("AlignName") = 2;
        master.append_attribute("MatchByName") = 1;
        master.append_attribute("IconUpdate") = 1;
        const std::string id = "{7E55A1C0-3B1D-4F6A-8C2E-54455353" + std::to_string(1000 + number) + "}";
        master.append_attribute("UniqueID") = id.c_str();
        master.append_attribute("BaseID") = id.c_str();
        master.append_attribute("PatternFlags") = 0;
        master.append_attribute("Hidden") = 0;
        master.append_attribute("MasterType") = 2;
        AddPageSheet(master, oneD ? 1.0 : width, oneD ? 1.0 : height);
        master.append_child("Rel").append_attribute("r:id") = "rId1";

        VsdxMaster result;
        result.nameU = name;
        std::ostringstream masterXml;
        master.print(masterXml, "", pugi::format_raw);
        result.masterXml = masterXml.str();
        result.contentsXml = PartXml(contents);
        ParseMasterShape(result);
        return result;
    }
};

// A flat blue box with a row of ports and two crossing arrows.
VsdxMaster Switch()
{
    constexpr double w = 1.2;
    constexpr double h = 0.4;
    MasterBuilder b(w, h, w / 2, h / 2);
    b.Colours("#6FA8DC", "#1F3A5F");
    Path(b.shape, 0, true).Rect(0, 0, w, h);
    Path ports(b.shape, 1, false);
    for (int i = 0; i < 8; ++i) {
        const double x = 0.12 + i * 0.125;
        ports.Rect(x, 0.05, x + 0.085, 0.12);
    }
    Path(b.shape, 2, false)
        .Move(0.3, 0.31)
        .Line(0.9, 0.31)
        .Move(0.84, 0.35)
        .Line(0.9, 0.31)
        .Line(0.84, 0.27)
        .Move(0.9, 0.2)
        .Line(0.3, 0.2)
        .Move(0.36, 0.24)
        .Line(0.3, 0.2)
        .Line(0.36, 0.16);
    b.ConnectionAtMiddle(w, h);
    return b.Finish("Workgroup Switches", 1, w, h);
}

// A green cylinder with a cross on its top.
VsdxMaster Router()
{
    constexpr double w = 0.7;
    constexpr double h = 0.5;
    constexpr double ry = 0.1;
    MasterBuilder b(w, h, w / 2, h / 2);
    b.Colours("#8FD19E", "#1E6B34");
    // The body with its rounded bottom as one closed outline, the lid drawn over its top.
    Path(b.shape, 0, true)
        .Move(0, ry)
        .Line(0, h - ry)
        .Line(w, h - ry)
        .Line(w, ry)
        .EllipticalArc(0, ry, w / 2, 0, 0, (w / 2) / ry);
    Path(b.shape, 1, true).Ellipse(w / 2, h - ry, w / 2, ry);
    Path(b.shape, 2, false).Move(0.2, 0.35).Line(0.5, 0.45).Move(0.2, 0.45).Line(0.5, 0.35);
    b.ConnectionAtMiddle(w, h);
    return b.Finish("Router", 5, w, h);
}

// A grey monitor on a stand.
VsdxMaster Pc()
{
    constexpr double w = 0.6;
    constexpr double h = 0.6;
    MasterBuilder b(w, h, w / 2, h / 2);
    b.Colours("#D5DAE1", "#3B4452");
    Path(b.shape, 0, true).Rect(0.03, 0.2, 0.57, 0.6);
    Path(b.shape, 1, false).Rect(0.08, 0.25, 0.52, 0.55);
    Path(b.shape, 2, true).Move(0.25, 0.2).Line(0.35, 0.2).Line(0.38, 0.1).Line(0.22, 0.1).Line(0.25, 0.2);
    Path(b.shape, 3, true).Rect(0.12, 0.03, 0.48, 0.1);
    b.ConnectionAtMiddle(w, h);
    return b.Finish("PC", 6, w, h);
}

// A text block without outline; its pin sits near the edge that faces its host.
VsdxMaster Label(const char* name, int number, bool textOnLeft)
{
    const double locPinX = textOnLeft ? kLabelWidth - 0.05 : 0.3;
    MasterBuilder b(kLabelWidth, kLabelHeight, locPinX, kLabelHeight / 2);
    AddCell(b.shape, "LinePattern", 0);
    AddCell(b.shape, "FillPattern", 0);
    AddCell(b.shape, "ShdwPattern", 0);
    AddCell(b.shape, "LeftMargin", 0.03);
    AddCell(b.shape, "RightMargin", 0.03);
    AddCell(b.shape, "TopMargin", 0.02);
    AddCell(b.shape, "BottomMargin", 0.02);
    AddCell(b.shape, "VerticalAlign", 1);
    auto character = b.shape.append_child("Section");
    character.append_attribute("N") = "Character";
    auto charRow = character.append_child("Row");
    charRow.append_attribute("IX") = 0;
    ColourCell(charRow, "Color", "#000000");
    AddCell(charRow, "Size", kLabelFontSize);
    auto paragraph = b.shape.append_child("Section");
    paragraph.append_attribute("N") = "Paragraph";
    auto paraRow = paragraph.append_child("Row");
    paraRow.append_attribute("IX") = 0;
    AddCell(paraRow, "HorzAlign", textOnLeft ? 2 : 0);
    return b.Finish(name, number, kLabelWidth, kLabelHeight);
}

// A line whose two ends are glued to the shapes it joins.
VsdxMaster Connector()
{
    MasterBuilder b(1, 0, 0.5, 0);
    b.Colours("#FFFFFF", "#404040");
    AddCell(b.shape, "BeginX", 0);
    AddCell(b.shape, "BeginY", 0);
    AddCell(b.shape, "EndX", 1);
    AddCell(b.shape, "EndY", 0);
    AddCell(b.shape, "ObjType", 2);
    Path(b.shape, 0, false).Move(0, 0).Line(1, 0);
    return b.Finish("Dynamic Connector", 4, 1, 0, true);
}

} // namespace

std::vector<VsdxMaster> NetStencilMasters()
{
    return {Switch(), Label("Label", 2, false), Label("Label2", 3, true), Connector(), Router(), Pc()};
}

bool WriteNetStencil(const std::string& path)
{
    return WriteStencil(path, NetStencilMasters());
}

} // namespace tessvale
