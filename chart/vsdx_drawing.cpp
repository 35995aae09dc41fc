#include "chart/vsdx_drawing.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>

#include <pugixml.hpp>

#include "chart/vsdx_package.h"

namespace tessvale {

namespace {

constexpr int kBeginPart = 9;             // the begin point of a 1-D shape
constexpr int kEndPart = 12;              // its end point
constexpr int kConnectionPointPart = 100; // first connection row

double CellValue(pugi::xml_node shape, const char* name, double fallback)
{
    for (auto cell : shape.children("Cell")) {
        if (std::string_view(cell.attribute("N").value()) == name) {
            return cell.attribute("V").as_double(fallback);
        }
    }
    return fallback;
}

bool HasCell(pugi::xml_node shape, const char* name)
{
    for (auto cell : shape.children("Cell")) {
        if (std::string_view(cell.attribute("N").value()) == name) {
            return true;
        }
    }
    return false;
}

// The document part: settings, colours, fonts and the base style every shape uses.
std::string DocumentXml()
{
    return R"(<?xml version="1.0" encoding="utf-8" standalone="yes"?>)"
           R"(<VisioDocument xmlns="http://schemas.microsoft.com/office/visio/2012/main" )"
           R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" xml:space="preserve">)"
           R"(<DocumentSettings TopPage="0" DefaultTextStyle="0" DefaultLineStyle="0" DefaultFillStyle="0" )"
           R"(DefaultGuideStyle="0"><GlueSettings>9</GlueSettings><SnapSettings>65847</SnapSettings>)"
           R"(<SnapExtensions>34</SnapExtensions><SnapAngles/><DynamicGridEnabled>1</DynamicGridEnabled>)"
           R"(<ProtectStyles>0</ProtectStyles><ProtectShapes>0</ProtectShapes><ProtectMasters>0</ProtectMasters>)"
           R"(<ProtectBkgnds>0</ProtectBkgnds></DocumentSettings>)"
           R"(<Colors><ColorEntry IX="0" RGB="#000000"/><ColorEntry IX="1" RGB="#FFFFFF"/></Colors>)"
           R"(<FaceNames><FaceName NameU="Calibri" Flags="325"/></FaceNames>)"
           R"(<StyleSheets><StyleSheet ID="0" NameU="No Style" IsCustomNameU="1" Name="No Style" IsCustomName="1">)"
           R"(<Cell N="EnableLineProps" V="1"/><Cell N="EnableFillProps" V="1"/><Cell N="EnableTextProps" V="1"/>)"
           R"(<Cell N="HideForApply" V="0"/><Cell N="LineWeight" V="0.01041666666666667"/>)"
           R"(<Cell N="LineColor" V="0"/><Cell N="LinePattern" V="1"/><Cell N="Rounding" V="0"/>)"
           R"(<Cell N="EndArrowSize" V="2"/><Cell N="BeginArrow" V="0"/><Cell N="EndArrow" V="0"/>)"
           R"(<Cell N="LineCap" V="0"/><Cell N="BeginArrowSize" V="2"/><Cell N="LineColorTrans" V="0"/>)"
           R"(<Cell N="CompoundType" V="0"/><Cell N="FillForegnd" V="1"/><Cell N="FillBkgnd" V="0"/>)"
           R"(<Cell N="FillPattern" V="1"/><Cell N="ShdwForegnd" V="0"/><Cell N="ShdwPattern" V="0"/>)"
           R"(<Cell N="FillForegndTrans" V="0"/><Cell N="FillBkgndTrans" V="0"/><Cell N="ShdwForegndTrans" V="0"/>)"
           R"(<Cell N="ShapeShdwType" V="0"/><Cell N="ShapeShdwOffsetX" V="0"/><Cell N="ShapeShdwOffsetY" V="0"/>)"
           R"(<Cell N="ShapeShdwShow" V="0"/><Cell N="LeftMargin" V="0.05555555555555555"/>)"
           R"(<Cell N="RightMargin" V="0.05555555555555555"/><Cell N="TopMargin" V="0.05555555555555555"/>)"
           R"(<Cell N="BottomMargin" V="0.05555555555555555"/><Cell N="VerticalAlign" V="1"/>)"
           R"(<Cell N="TextBkgnd" V="0"/><Cell N="DefaultTabStop" V="0.5"/><Cell N="TextDirection" V="0"/>)"
           R"(<Cell N="TextBkgndTrans" V="0"/>)"
           R"(<Section N="Character"><Row IX="0"><Cell N="Font" V="0"/><Cell N="Color" V="0"/>)"
           R"(<Cell N="Style" V="0"/><Cell N="Case" V="0"/><Cell N="Pos" V="0"/><Cell N="FontScale" V="1"/>)"
           R"(<Cell N="Size" V="0.1666666666666667"/><Cell N="ColorTrans" V="0"/></Row></Section>)"
           R"(<Section N="Paragraph"><Row IX="0"><Cell N="IndFirst" V="0"/><Cell N="IndLeft" V="0"/>)"
           R"(<Cell N="IndRight" V="0"/><Cell N="SpLine" V="-1.2"/><Cell N="SpBefore" V="0"/>)"
           R"(<Cell N="SpAfter" V="0"/><Cell N="HorzAlign" V="1"/><Cell N="Bullet" V="0"/></Row></Section>)"
           R"(</StyleSheet></StyleSheets>)"
           R"(<DocumentSheet NameU="TheDoc" IsCustomNameU="1" Name="TheDoc" IsCustomName="1" LineStyle="0" )"
           R"(FillStyle="0" TextStyle="0"><Cell N="OutputFormat" V="0"/><Cell N="LockPreview" V="0"/>)"
           R"(<Cell N="AddMarkup" V="0"/><Cell N="ViewMarkup" V="0"/><Cell N="DocLockReplace" V="0"/>)"
           R"(<Cell N="NoCoauth" V="0"/><Cell N="DocLockDuplicatePage" V="0"/><Cell N="PreviewQuality" V="0"/>)"
           R"(<Cell N="PreviewScope" V="0"/><Cell N="DocLangID" V="1033"/></DocumentSheet></VisioDocument>)";
}

std::string CorePropertiesXml(const char* title)
{
    return std::string(R"(<?xml version="1.0" encoding="utf-8" standalone="yes"?>)"
                       R"(<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/)"
                       R"(core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>)") +
           title + "</dc:title><dc:creator>Tessvale</dc:creator></cp:coreProperties>";
}

std::string AppPropertiesXml()
{
    return R"(<?xml version="1.0" encoding="utf-8" standalone="yes"?>)"
           R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">)"
           R"(<Application>Tessvale</Application></Properties>)";
}

// Parts every package has: properties, the document and the package relationships.
void AddCommonParts(std::vector<PackagePart>& parts, const char* mainType, const char* title)
{
    parts.push_back({"_rels/.rels", kTypeRelationships,
                     RelationshipsXml({{"rId1", kRelDocument, "visio/document.xml"},
                                       {"rId2", kRelCoreProperties, "docProps/core.xml"},
                                       {"rId3", kRelExtendedProperties, "docProps/app.xml"}})});
    parts.push_back({"docProps/core.xml", kTypeCoreProperties, CorePropertiesXml(title)});
    parts.push_back({"docProps/app.xml", kTypeExtendedProperties, AppPropertiesXml()});
    parts.push_back({"visio/document.xml", mainType, DocumentXml()});
}

// The masters part and one part per master; master i gets ID i + 1.
void AddMasterParts(std::vector<PackagePart>& parts, const std::vector<VsdxMaster>& masters)
{
    pugi::xml_document doc;
    auto root = AddVisioRoot(doc, "Masters");
    std::vector<PackageRelationship> rels;
    for (std::size_t i = 0; i < masters.size(); ++i) {
        const std::string relId = "rId" + std::to_string(i + 1);
        const std::string file = "master" + std::to_string(i + 1) + ".xml";
        pugi::xml_document fragment;
        if (!fragment.load_string(masters[i].masterXml.c_str())) {
            continue;
        }
        auto node = root.append_copy(fragment.child("Master"));
        node.attribute("ID").set_value(static_cast<int>(i + 1));
        while (node.child("Rel")) {
            node.remove_child("Rel");
        }
        auto rel = node.child("Icon") ? node.insert_child_before("Rel", node.child("Icon")) : node.append_child("Rel");
        rel.append_attribute("r:id") = relId.c_str();
        rels.push_back({relId, kRelMaster, file});
        parts.push_back({"visio/masters/" + file, kTypeMaster, masters[i].contentsXml});
    }
    parts.push_back({"visio/masters/masters.xml", kTypeMasters, PartXml(doc)});
    parts.push_back({"visio/masters/_rels/masters.xml.rels", kTypeRelationships, RelationshipsXml(rels)});
}

} // namespace

void ChartBox::Add(ChartPoint p)
{
    if (empty) {
        left = right = p.x;
        bottom = top = p.y;
        empty = false;
        return;
    }
    left = std::min(left, p.x);
    right = std::max(right, p.x);
    bottom = std::min(bottom, p.y);
    top = std::max(top, p.y);
}

void ChartBox::Add(const ChartBox& other)
{
    if (!other.empty) {
        Add(ChartPoint{other.left, other.bottom});
        Add(ChartPoint{other.right, other.top});
    }
}

bool ParseMasterShape(VsdxMaster& master)
{
    pugi::xml_document doc;
    if (!doc.load_string(master.contentsXml.c_str())) {
        return false;
    }
    const auto shape = doc.child("MasterContents").child("Shapes").child("Shape");
    if (!shape) {
        return false;
    }
    master.width = CellValue(shape, "Width", 1);
    master.height = CellValue(shape, "Height", 1);
    master.locPinX = CellValue(shape, "LocPinX", master.width / 2);
    master.locPinY = CellValue(shape, "LocPinY", master.height / 2);
    master.oneD = HasCell(shape, "BeginX");
    master.connections.clear();
    for (auto section : shape.children("Section")) {
        if (std::string_view(section.attribute("N").value()) != "Connection") {
            continue;
        }
        for (auto row : section.children("Row")) {
            master.connections.push_back({CellValue(row, "X", 0), CellValue(row, "Y", 0)});
        }
    }
    return true;
}

std::optional<std::vector<VsdxMaster>> ReadStencil(const std::string& path)
{
    const auto entries = ReadPackage(path);
    if (!entries) {
        return std::nullopt;
    }
    auto find = [](const std::vector<PackageRelationship>& rels, const char* type) -> std::string {
        for (const auto& rel : rels) {
            if (rel.type == type) {
                return rel.target;
            }
        }
        return {};
    };
    const std::string documentPart = find(ReadRelationships(*entries, ""), kRelDocument);
    const std::string mastersPart = find(ReadRelationships(*entries, documentPart), kRelMasters);
    const auto mastersIt = entries->find(mastersPart);
    if (documentPart.empty() || mastersIt == entries->end()) {
        return std::nullopt;
    }
    pugi::xml_document doc;
    if (!doc.load_buffer(mastersIt->second.data(), mastersIt->second.size())) {
        return std::nullopt;
    }
    const auto rels = ReadRelationships(*entries, mastersPart);
    std::vector<VsdxMaster> masters;
    for (auto node : doc.child("Masters").children("Master")) {
        const std::string relId = node.child("Rel").attribute("r:id").value();
        const auto rel = std::find_if(rels.begin(), rels.end(), [&](const auto& r) { return r.id == relId; });
        if (rel == rels.end()) {
            continue;
        }
        const auto part = entries->find(rel->target);
        if (part == entries->end()) {
            continue;
        }
        VsdxMaster master;
        master.nameU = node.attribute("NameU").value();
        std::ostringstream out;
        node.print(out, "", pugi::format_raw);
        master.masterXml = out.str();
        master.contentsXml = part->second;
        if (ParseMasterShape(master)) {
            masters.push_back(std::move(master));
        }
    }
    return masters;
}

bool WriteStencil(const std::string& path, const std::vector<VsdxMaster>& masters)
{
    std::vector<PackagePart> parts;
    AddCommonParts(parts, kTypeStencilMain, "NET_1");
    parts.push_back({"visio/_rels/document.xml.rels", kTypeRelationships,
                     RelationshipsXml({{"rId1", kRelMasters, "masters/masters.xml"}})});
    AddMasterParts(parts, masters);
    return WritePackage(path, parts);
}

int VsdxDrawing::UseMaster(const VsdxMaster& master)
{
    for (std::size_t i = 0; i < m_masters.size(); ++i) {
        if (m_masters[i].nameU == master.nameU) {
            return static_cast<int>(i);
        }
    }
    m_masters.push_back(master);
    return static_cast<int>(m_masters.size() - 1);
}

int VsdxDrawing::Drop(int masterIndex, double x, double y)
{
    const VsdxMaster& master = m_masters.at(static_cast<std::size_t>(masterIndex));
    VsdxShape shape;
    shape.id = m_nextId++;
    shape.master = masterIndex;
    shape.oneD = master.oneD;
    shape.pinX = x;
    shape.pinY = y;
    shape.width = master.width;
    shape.height = master.height;
    shape.locPinX = master.locPinX;
    shape.locPinY = master.locPinY;
    shape.connections = master.connections;
    if (shape.oneD) {
        shape.begin = {x - master.width / 2, y};
        shape.end = {x + master.width / 2, y};
    }
    m_top.push_back(shape.id);
    const int id = shape.id;
    m_shapes.emplace(id, std::move(shape));
    return id;
}

VsdxShape* VsdxDrawing::Find(int id)
{
    const auto it = m_shapes.find(id);
    return it == m_shapes.end() ? nullptr : &it->second;
}

const VsdxShape* VsdxDrawing::Find(int id) const
{
    const auto it = m_shapes.find(id);
    return it == m_shapes.end() ? nullptr : &it->second;
}

int VsdxDrawing::Group(const std::vector<int>& ids)
{
    if (ids.empty()) {
        return 0;
    }
    ChartBox box;
    std::size_t topmost = 0;
    for (int id : ids) {
        const auto pos = std::find(m_top.begin(), m_top.end(), id);
        if (pos == m_top.end()) {
            return 0;
        }
        topmost = std::max(topmost, static_cast<std::size_t>(pos - m_top.begin()));
        box.Add(Bounds(id));
    }
    VsdxShape group;
    group.id = m_nextId++;
    group.group = true;
    group.width = box.Width();
    group.height = box.Height();
    group.locPinX = group.width / 2;
    group.locPinY = group.height / 2;
    group.pinX = box.left + group.locPinX;
    group.pinY = box.bottom + group.locPinY;
    // Members keep their z-order; their pins move into the group's coordinates.
    for (int id : m_top) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
            continue;
        }
        VsdxShape& member = m_shapes.at(id);
        member.parent = group.id;
        member.pinX -= box.left;
        member.pinY -= box.bottom;
        group.children.push_back(id);
    }
    std::vector<int> top;
    for (std::size_t i = 0; i < m_top.size(); ++i) {
        if (i == topmost) {
            top.push_back(group.id);
        }
        if (std::find(ids.begin(), ids.end(), m_top[i]) == ids.end()) {
            top.push_back(m_top[i]);
        }
    }
    m_top = std::move(top);
    const int id = group.id;
    m_shapes.emplace(id, std::move(group));
    return id;
}

bool VsdxDrawing::Glue(int connectorId, bool begin, int targetId, int row)
{
    VsdxShape* connector = Find(connectorId);
    const VsdxShape* target = Find(targetId);
    if (connector == nullptr || target == nullptr || !connector->oneD || target->oneD || connectorId == targetId ||
        row < 0 || static_cast<std::size_t>(row) >= target->connections.size()) {
        return false;
    }
    (begin ? connector->beginGlue : connector->endGlue) = VsdxGlue{targetId, row};
    return true;
}

ChartPoint VsdxDrawing::PagePoint(int shapeId, ChartPoint local) const
{
    for (const VsdxShape* shape = Find(shapeId); shape != nullptr; shape = Find(shape->parent)) {
        local = {shape->pinX - shape->locPinX + local.x, shape->pinY - shape->locPinY + local.y};
    }
    return local;
}

ChartPoint VsdxDrawing::BeginPoint(const VsdxShape& shape) const
{
    if (shape.beginGlue.shapeId != 0) {
        const VsdxShape& target = *Find(shape.beginGlue.shapeId);
        return PagePoint(target.id, target.connections[static_cast<std::size_t>(shape.beginGlue.row)]);
    }
    return shape.begin;
}

ChartPoint VsdxDrawing::EndPoint(const VsdxShape& shape) const
{
    if (shape.endGlue.shapeId != 0) {
        const VsdxShape& target = *Find(shape.endGlue.shapeId);
        return PagePoint(target.id, target.connections[static_cast<std::size_t>(shape.endGlue.row)]);
    }
    return shape.end;
}

std::vector<ChartPoint> VsdxDrawing::Route(const VsdxShape& shape) const
{
    // Right-angled: along the switch's trunk first, then across to the host.
    const ChartPoint b = BeginPoint(shape);
    const ChartPoint e = EndPoint(shape);
    return {b, ChartPoint{b.x, e.y}, e};
}

ChartBox VsdxDrawing::Bounds(int shapeId) const
{
    ChartBox box;
    const VsdxShape* shape = Find(shapeId);
    if (shape == nullptr) {
        return box;
    }
    if (shape->oneD) {
        for (const ChartPoint& p : Route(*shape)) {
            box.Add(p);
        }
        return box;
    }
    box.Add(PagePoint(shapeId, {0, 0}));
    box.Add(PagePoint(shapeId, {shape->width, shape->height}));
    return box;
}

ChartBox VsdxDrawing::DrawingBounds() const
{
    ChartBox box;
    for (int id : m_top) {
        box.Add(Bounds(id));
    }
    return box;
}

void VsdxDrawing::MoveAll(double dx, double dy)
{
    for (int id : m_top) {
        VsdxShape& shape = m_shapes.at(id);
        if (shape.oneD) {
            shape.begin = {shape.begin.x + dx, shape.begin.y + dy};
            shape.end = {shape.end.x + dx, shape.end.y + dy};
        }
        shape.pinX += dx;
        shape.pinY += dy;
    }
}

void VsdxDrawing::ResizeToFitContents()
{
    const ChartBox box = DrawingBounds();
    if (box.empty) {
        return;
    }
    pageWidth = box.Width() + 2 * kPageMargin;
    pageHeight = box.Height() + 2 * kPageMargin;
    MoveAll(kPageMargin - box.left, kPageMargin - box.bottom);
}

void VsdxDrawing::CenterDrawing()
{
    const ChartBox box = DrawingBounds();
    if (box.empty) {
        return;
    }
    MoveAll(pageWidth / 2 - (box.left + box.right) / 2, pageHeight / 2 - (box.bottom + box.top) / 2);
}

namespace {

// Writes the page's shapes. Each master instance carries the master's cells and
// sections itself (the instance's own values first), so that readers which do not
// follow master links inside groups still draw it; the Master attribute keeps the link.
class ShapeWriter
{
public:
    explicit ShapeWriter(const VsdxDrawing& drawing) : m_drawing(drawing)
    {
        for (const VsdxMaster& master : drawing.Masters()) {
            auto doc = std::make_unique<pugi::xml_document>();
            doc->load_string(master.contentsXml.c_str());
            m_masterDocs.push_back(std::move(doc));
        }
    }

    void Write(pugi::xml_node parent, const VsdxShape& shape) const
    {
        auto node = parent.append_child("Shape");
        node.append_attribute("ID") = shape.id;
        pugi::xml_node masterShape;
        if (shape.group) {
            const std::string name = "Sheet." + std::to_string(shape.id);
            node.append_attribute("NameU") = name.c_str();
            node.append_attribute("Name") = name.c_str();
            node.append_attribute("Type") = "Group";
            node.append_attribute("LineStyle") = 0;
            node.append_attribute("FillStyle") = 0;
            node.append_attribute("TextStyle") = 0;
        } else {
            const auto index = static_cast<std::size_t>(shape.master);
            masterShape = m_masterDocs[index]->child("MasterContents").child("Shapes").child("Shape");
            const std::string name = m_drawing.Masters()[index].nameU + "." + std::to_string(shape.id);
            node.append_attribute("NameU") = name.c_str();
            node.append_attribute("Name") = name.c_str();
            node.append_attribute("Type") = "Shape";
            node.append_attribute("Master") = shape.master + 1;
            for (const char* style : {"LineStyle", "FillStyle", "TextStyle"}) {
                if (masterShape.attribute(style)) {
                    node.append_attribute(style) = masterShape.attribute(style).value();
                }
            }
        }
        if (shape.oneD) {
            WriteConnectorCells(node, shape);
        } else {
            AddCell(node, "PinX", shape.pinX);
            AddCell(node, "PinY", shape.pinY);
            AddCell(node, "Width", shape.width);
            AddCell(node, "Height", shape.height);
            AddCell(node, "LocPinX", shape.locPinX);
            AddCell(node, "LocPinY", shape.locPinY);
            AddCell(node, "Angle", 0);
            AddCell(node, "FlipX", 0);
            AddCell(node, "FlipY", 0);
        }
        CopyFromMaster(node, masterShape, shape.oneD);
        if (shape.oneD) {
            WriteConnectorGeometry(node, shape);
        }
        if (shape.text) {
            node.append_child("Text").text().set(shape.text->c_str());
        }
        if (!shape.children.empty()) {
            auto shapes = node.append_child("Shapes");
            for (int child : shape.children) {
                Write(shapes, *m_drawing.Find(child));
            }
        }
    }

private:
    static std::string GlueFormula(int target, int row)
    {
        const std::string sheet = "Sheet." + std::to_string(target) + "!Connections.";
        const std::string n = std::to_string(row + 1);
        return "PAR(PNT(" + sheet + "X" + n + "," + sheet + "Y" + n + "))";
    }

    // The master's cells that the instance does not set itself, then its sections (a
    // connector's geometry is its own route).
    static void CopyFromMaster(pugi::xml_node node, pugi::xml_node masterShape, bool oneD)
    {
        if (!masterShape) {
            return;
        }
        for (auto cell : masterShape.children("Cell")) {
            const std::string_view name = cell.attribute("N").value();
            bool own = false;
            for (auto c : node.children("Cell")) {
                own = own || name == c.attribute("N").value();
            }
            if (!own) {
                node.append_copy(cell);
            }
        }
        for (auto section : masterShape.children("Section")) {
            if (!(oneD && std::string_view(section.attribute("N").value()) == "Geometry")) {
                node.append_copy(section);
            }
        }
    }

    // A connector's local coordinates start at its begin point, as for a routed
    // connector, so its width and height may be negative.
    void WriteConnectorCells(pugi::xml_node node, const VsdxShape& shape) const
    {
        const auto route = m_drawing.Route(shape);
        const ChartPoint b = route.front();
        const ChartPoint e = route.back();
        const double w = e.x - b.x;
        const double h = e.y - b.y;
        AddCell(node, "PinX", b.x + w / 2);
        AddCell(node, "PinY", b.y + h / 2);
        AddCell(node, "Width", w);
        AddCell(node, "Height", h);
        AddCell(node, "LocPinX", w / 2);
        AddCell(node, "LocPinY", h / 2);
        const auto& bg = shape.beginGlue;
        const auto& eg = shape.endGlue;
        AddCell(node, "BeginX", b.x, bg.shapeId != 0 ? GlueFormula(bg.shapeId, bg.row) : std::string());
        AddCell(node, "BeginY", b.y, bg.shapeId != 0 ? GlueFormula(bg.shapeId, bg.row) : std::string());
        AddCell(node, "EndX", e.x, eg.shapeId != 0 ? GlueFormula(eg.shapeId, eg.row) : std::string());
        AddCell(node, "EndY", e.y, eg.shapeId != 0 ? GlueFormula(eg.shapeId, eg.row) : std::string());
    }

    void WriteConnectorGeometry(pugi::xml_node node, const VsdxShape& shape) const
    {
        const auto route = m_drawing.Route(shape);
        const ChartPoint b = route.front();
        auto geometry = node.append_child("Section");
        geometry.append_attribute("N") = "Geometry";
        geometry.append_attribute("IX") = 0;
        AddCell(geometry, "NoFill", 1);
        AddCell(geometry, "NoLine", 0);
        AddCell(geometry, "NoShow", 0);
        AddCell(geometry, "NoSnap", 0);
        AddRow(geometry, "MoveTo", 1, 0, 0);
        AddRow(geometry, "LineTo", 2, route[1].x - b.x, route[1].y - b.y);
        AddRow(geometry, "LineTo", 3, route[2].x - b.x, route[2].y - b.y);
    }

    const VsdxDrawing& m_drawing;
    std::vector<std::unique_ptr<pugi::xml_document>> m_masterDocs;
};

void AddConnect(pugi::xml_node connects, int from, bool begin, const VsdxGlue& glue)
{
    auto node = connects.append_child("Connect");
    node.append_attribute("FromSheet") = from;
    node.append_attribute("FromCell") = begin ? "BeginX" : "EndX";
    node.append_attribute("FromPart") = begin ? kBeginPart : kEndPart;
    node.append_attribute("ToSheet") = glue.shapeId;
    node.append_attribute("ToCell") = ("Connections.X" + std::to_string(glue.row + 1)).c_str();
    node.append_attribute("ToPart") = kConnectionPointPart + glue.row;
}

} // namespace

bool VsdxDrawing::Save(const std::string& path) const
{
    std::vector<PackagePart> parts;
    AddCommonParts(parts, kTypeDrawingMain, "Network chart");
    parts.push_back(
        {"visio/_rels/document.xml.rels", kTypeRelationships,
         RelationshipsXml({{"rId1", kRelMasters, "masters/masters.xml"}, {"rId2", kRelPages, "pages/pages.xml"}})});
    AddMasterParts(parts, m_masters);

    pugi::xml_document pages;
    auto page = AddVisioRoot(pages, "Pages").append_child("Page");
    page.append_attribute("ID") = 0;
    page.append_attribute("NameU") = "Page-1";
    page.append_attribute("Name") = "Page-1";
    auto sheet = AddPageSheet(page, pageWidth, pageHeight);
    AddCell(sheet, "DrawingSizeType", 3);
    AddCell(sheet, "DrawingScaleType", 0);
    AddCell(sheet, "PageLeftMargin", kPageMargin);
    AddCell(sheet, "PageRightMargin", kPageMargin);
    AddCell(sheet, "PageTopMargin", kPageMargin);
    AddCell(sheet, "PageBottomMargin", kPageMargin);
    AddCell(sheet, "PrintPageOrientation", pageWidth > pageHeight ? 2 : 1);
    page.append_child("Rel").append_attribute("r:id") = "rId1";
    parts.push_back({"visio/pages/pages.xml", kTypePages, PartXml(pages)});
    parts.push_back(
        {"visio/pages/_rels/pages.xml.rels", kTypeRelationships, RelationshipsXml({{"rId1", kRelPage, "page1.xml"}})});

    pugi::xml_document contents;
    auto root = AddVisioRoot(contents, "PageContents");
    auto shapes = root.append_child("Shapes");
    const ShapeWriter writer(*this);
    // Connectors lie behind the shapes they join, so their ends vanish under the symbols.
    for (int pass = 0; pass < 2; ++pass) {
        for (int id : m_top) {
            const VsdxShape& shape = m_shapes.at(id);
            if (shape.oneD == (pass == 0)) {
                writer.Write(shapes, shape);
            }
        }
    }
    auto connects = root.append_child("Connects");
    for (const auto& [id, shape] : m_shapes) {
        if (shape.beginGlue.shapeId != 0) {
            AddConnect(connects, id, true, shape.beginGlue);
        }
        if (shape.endGlue.shapeId != 0) {
            AddConnect(connects, id, false, shape.endGlue);
        }
    }
    if (!connects.first_child()) {
        root.remove_child(connects);
    }
    parts.push_back({"visio/pages/page1.xml", kTypePage, PartXml(contents)});
    std::vector<PackageRelationship> pageRels;
    for (std::size_t i = 0; i < m_masters.size(); ++i) {
        pageRels.push_back(
            {"rId" + std::to_string(i + 1), kRelMaster, "../masters/master" + std::to_string(i + 1) + ".xml"});
    }
    parts.push_back({"visio/pages/_rels/page1.xml.rels", kTypeRelationships, RelationshipsXml(pageRels)});
    return WritePackage(path, parts);
}

} // namespace tessvale
