// The package layer of the Visio XML formats (.vsdx drawings, .vssx stencils): a zip
// of XML parts with a content-type list, read and written through libzip.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <pugixml.hpp>

namespace tessvale {

inline constexpr const char* kVisioNamespace = "http://schemas.microsoft.com/office/visio/2012/main";
inline constexpr const char* kRelationshipNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr const char* kPackageRelationshipNamespace =
    "http://schemas.openxmlformats.org/package/2006/relationships";

// Relationship types.
inline constexpr const char* kRelDocument = "http://schemas.microsoft.com/visio/2010/relationships/document";
inline constexpr const char* kRelPages = "http://schemas.microsoft.com/visio/2010/relationships/pages";
inline constexpr const char* kRelPage = "http://schemas.microsoft.com/visio/2010/relationships/page";
inline constexpr const char* kRelMasters = "http://schemas.microsoft.com/visio/2010/relationships/masters";
inline constexpr const char* kRelMaster = "http://schemas.microsoft.com/visio/2010/relationships/master";
inline constexpr const char* kRelCoreProperties =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
inline constexpr const char* kRelExtendedProperties =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";

// Content types.
inline constexpr const char* kTypeDrawingMain = "application/vnd.ms-visio.drawing.main+xml";
inline constexpr const char* kTypeStencilMain = "application/vnd.ms-visio.stencil.main+xml";
inline constexpr const char* kTypePages = "application/vnd.ms-visio.pages+xml";
inline constexpr const char* kTypePage = "application/vnd.ms-visio.page+xml";
inline constexpr const char* kTypeMasters = "application/vnd.ms-visio.masters+xml";
inline constexpr const char* kTypeMaster = "application/vnd.ms-visio.master+xml";
inline constexpr const char* kTypeRelationships = "application/vnd.openxmlformats-package.relationships+xml";
inline constexpr const char* kTypeCoreProperties = "application/vnd.openxmlformats-package.core-properties+xml";
inline constexpr const char* kTypeExtendedProperties =
    "application/vnd.openxmlformats-officedocument.extended-properties+xml";

// One part of a package: its name inside the zip (no leading '/'), content type, bytes.
struct PackagePart
{
    std::string name;
    std::string contentType;
    std::string data;
};

// One relationship of a part.
struct PackageRelationship
{
    std::string id;
    std::string type;
    std::string target;
};

// Writes the parts and a matching "[Content_Types].xml" as a new zip at path, replacing
// what was there only when the whole archive was written. False on any failure.
bool WritePackage(const std::string& path, const std::vector<PackagePart>& parts);

// All entries of the zip at path by name; nothing when it cannot be opened or read.
std::optional<std::map<std::string, std::string>> ReadPackage(const std::string& path);

// The relationships part text for the given relationships.
std::string RelationshipsXml(const std::vector<PackageRelationship>& relationships);

// The relationships stored for part (e.g. "visio/document.xml" ->
// "visio/_rels/document.xml.rels"), targets resolved to part names. Empty when none.
std::vector<PackageRelationship> ReadRelationships(const std::map<std::string, std::string>& entries,
                                                   const std::string& part);

// Shortest decimal text that reads back as the same double.
std::string FormatNumber(double value);

// The text of a part as the package stores it: UTF-8, no indentation.
std::string PartXml(const pugi::xml_document& doc);

// Starts a part: its XML declaration, then the root element name, which it returns.
pugi::xml_node AddPartRoot(pugi::xml_document& doc, const char* name);

// Starts a Visio part: a root in the Visio namespace that keeps its white space.
pugi::xml_node AddVisioRoot(pugi::xml_document& doc, const char* name);

// A "Cell" of node with its value and, when there is one, its formula.
void AddCell(pugi::xml_node node, const char* name, double value, const std::string& formula = {});

// A geometry "Row" of section with its X and Y cells.
pugi::xml_node AddRow(pugi::xml_node section, const char* type, int index, double x, double y);

// The "PageSheet" of a page or master: no styles, the given size, scale 1.
pugi::xml_node AddPageSheet(pugi::xml_node parent, double width, double height);

} // namespace tessvale
