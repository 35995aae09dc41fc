// The drawing model behind the .vsdx canvas: masters taken from a stencil, shapes on one
// page (dropped, grouped, glued), and the writer that stores it as a Visio XML drawing.
// Coordinates are inches, x to the right, y upwards; shapes are never rotated or flipped.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessvale {

struct ChartPoint
{
    double x = 0;
    double y = 0;
};

// A master as a stencil holds it and a drawing copies it.
struct VsdxMaster
{
    std::string nameU;
    std::string masterXml;   // the <Master> element of the masters part
    std::string contentsXml; // the master's own part (MasterContents)
    // Taken from the master's shape by ParseMasterShape.
    double width = 1;
    double height = 1;
    double locPinX = 0.5;
    double locPinY = 0.5;
    bool oneD = false;
    std::vector<ChartPoint> connections; // connection rows in the shape's own coordinates
};

// Fills the shape data of master from its contentsXml. False when it holds no shape.
bool ParseMasterShape(VsdxMaster& master);

// The masters of a stencil package (.vssx); nothing when it cannot be read.
std::optional<std::vector<VsdxMaster>> ReadStencil(const std::string& path);

// Writes masters as a stencil package.
bool WriteStencil(const std::string& path, const std::vector<VsdxMaster>& masters);

// One connector end glued to a connection row of a shape (shapeId 0: not glued).
struct VsdxGlue
{
    int shapeId = 0;
    int row = 0;
};

struct VsdxShape
{
    int id = 0;
    int master = -1; // index into the drawing's masters; -1 for a group
    int parent = 0;  // 0: the shape lies on the page
    std::vector<int> children;
    bool group = false;
    bool oneD = false;
    // Position in the parent's coordinates (the page, or the group's own box).
    double pinX = 0;
    double pinY = 0;
    double width = 0;
    double height = 0;
    double locPinX = 0;
    double locPinY = 0;
    std::optional<std::string> text;
    std::vector<ChartPoint> connections;
    // 1-D shapes: the ends in page coordinates while they are not glued.
    ChartPoint begin;
    ChartPoint end;
    VsdxGlue beginGlue;
    VsdxGlue endGlue;
};

struct ChartBox
{
    double left = 0;
    double bottom = 0;
    double right = 0;
    double top = 0;
    bool empty = true;

    void Add(ChartPoint p);
    void Add(const ChartBox& other);
    double Width() const { return right - left; }
    double Height() const { return top - bottom; }
};

class VsdxDrawing
{
public:
    // Margin that fitting the page keeps around the drawing, on each side.
    static constexpr double kPageMargin = 0.25;

    // Index of the drawing's copy of master (copied on first use).
    int UseMaster(const VsdxMaster& master);
    const std::vector<VsdxMaster>& Masters() const { return m_masters; }

    // A new shape of the drawing's master masterIndex with its pin at (x, y); its id.
    int Drop(int masterIndex, double x, double y);
    VsdxShape* Find(int id);
    const VsdxShape* Find(int id) const;
    const std::vector<int>& TopShapes() const { return m_top; }

    // Groups the given shapes, all on the page, into a new group in the z-position of the
    // topmost of them. The group's id, or 0 when they cannot be grouped.
    int Group(const std::vector<int>& ids);

    // Glues an end (begin: true for BeginX) of a 1-D shape to connection row of target.
    bool Glue(int connectorId, bool begin, int targetId, int row);

    // Page coordinates of a point given in a shape's own coordinates.
    ChartPoint PagePoint(int shapeId, ChartPoint local) const;
    ChartPoint BeginPoint(const VsdxShape& shape) const;
    ChartPoint EndPoint(const VsdxShape& shape) const;
    // The points a connector passes: begin, the corner, end.
    std::vector<ChartPoint> Route(const VsdxShape& shape) const;
    ChartBox Bounds(int shapeId) const;
    ChartBox DrawingBounds() const;

    // Moves everything on the page; glued ends follow their shapes.
    void MoveAll(double dx, double dy);
    // Page size to the drawing plus the margins, the drawing moved inside them.
    void ResizeToFitContents();
    void CenterDrawing();

    double pageWidth = 8.5;
    double pageHeight = 11;

    // Stores the drawing as a .vsdx package.
    bool Save(const std::string& path) const;

private:
    std::vector<VsdxMaster> m_masters;
    std::map<int, VsdxShape> m_shapes;
    std::vector<int> m_top; // shapes on the page, back to front
    int m_nextId = 1;
};

} // namespace tessvale
