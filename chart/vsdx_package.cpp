#include "chart/vsdx_package.h"

#include <charconv>
#include <deque>
#include <memory>
#include <sstream>

#include <pugixml.hpp>
#include <zip.h>

namespace tessvale {

namespace {

struct ZipCloser
{
    // An archive that was not closed successfully is discarded, leaving no file behind.
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipCloser>;

struct ZipFileCloser
{
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFileHandle = std::unique_ptr<zip_file_t, ZipFileCloser>;

std::string ContentTypesXml(const std::vector<PackagePart>& parts)
{
    pugi::xml_document doc;
    auto types = AddPartRoot(doc, "Types");
    types.append_attribute("xmlns") = "http://schemas.openxmlformats.org/package/2006/content-types";
    auto rels = types.append_child("Default");
    rels.append_attribute("Extension") = "rels";
    rels.append_attribute("ContentType") = kTypeRelationships;
    auto xml = types.append_child("Default");
    xml.append_attribute("Extension") = "xml";
    xml.append_attribute("ContentType") = "application/xml";
    for (const PackagePart& part : parts) {
        if (part.contentType.empty() || part.contentType == kTypeRelationships) {
            continue;
        }
        auto over = types.append_child("Override");
        over.append_attribute("PartName") = ("/" + part.name).c_str();
        over.append_attribute("ContentType") = part.contentType.c_str();
    }
    return PartXml(doc);
}

// Joins a relationship target to the folder of the part that names it.
std::string ResolveTarget(const std::string& part, const std::string& target)
{
    if (!target.empty() && target.front() == '/') {
        return target.substr(1);
    }
    std::vector<std::string> segments;
    const auto slash = part.rfind('/');
    std::string base = slash == std::string::npos ? std::string() : part.substr(0, slash);
    std::istringstream baseStream(base);
    for (std::string seg; std::getline(baseStream, seg, '/');) {
        if (!seg.empty()) {
            segments.push_back(seg);
        }
    }
    std::istringstream targetStream(target);
    for (std::string seg; std::getline(targetStream, seg, '/');) {
        if (seg == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (!seg.empty() && seg != ".") {
            segments.push_back(seg);
        }
    }
    std::string result;
    for (const std::string& seg : segments) {
        result += (result.empty() ? "" : "/") + seg;
    }
    return result;
}

} // namespace

bool WritePackage(const std::string& path, const std::vector<PackagePart>& parts)
{
    int error = 0;
    ZipHandle zip(zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error));
    if (!zip) {
        return false;
    }
    // libzip reads the buffers only when the archive is closed, so they live until then.
    std::deque<std::string> buffers;
    buffers.push_back(ContentTypesXml(parts));
    std::vector<std::pair<std::string, const std::string*>> entries;
    entries.emplace_back("[Content_Types].xml", &buffers.back());
    for (const PackagePart& part : parts) {
        entries.emplace_back(part.name, &part.data);
    }
    for (const auto& [name, data] : entries) {
        zip_source_t* source = zip_source_buffer(zip.get(), data->data(), data->size(), 0);
        if (source == nullptr) {
            return false;
        }
        if (zip_file_add(zip.get(), name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            return false;
        }
    }
    if (zip_close(zip.get()) != 0) {
        return false; // the handle discards the archive
    }
    static_cast<void>(zip.release()); // zip_close has freed the archive
    return true;
}

std::optional<std::map<std::string, std::string>> ReadPackage(const std::string& path)
{
    int error = 0;
    ZipHandle zip(zip_open(path.c_str(), ZIP_RDONLY, &error));
    if (!zip) {
        return std::nullopt;
    }
    std::map<std::string, std::string> entries;
    const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(zip.get(), static_cast<zip_uint64_t>(i), 0, &stat) != 0 ||
            (stat.valid & (ZIP_STAT_NAME | ZIP_STAT_SIZE)) != (ZIP_STAT_NAME | ZIP_STAT_SIZE)) {
            return std::nullopt;
        }
        ZipFileHandle file(zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(i), 0));
        if (!file) {
            return std::nullopt;
        }
        std::string data(static_cast<std::size_t>(stat.size), '\0');
        if (zip_fread(file.get(), data.data(), stat.size) != static_cast<zip_int64_t>(stat.size)) {
            return std::nullopt;
        }
        entries.emplace(stat.name, std::move(data));
    }
    return entries;
}

std::string RelationshipsXml(const std::vector<PackageRelationship>& relationships)
{
    pugi::xml_document doc;
    auto root = AddPartRoot(doc, "Relationships");
    root.append_attribute("xmlns") = kPackageRelationshipNamespace;
    for (const PackageRelationship& rel : relationships) {
        auto node = root.append_child("Relationship");
        node.append_attribute("Id") = rel.id.c_str();
        node.append_attribute("Type") = rel.type.c_str();
        node.append_attribute("Target") = rel.target.c_str();
    }
    return PartXml(doc);
}

std::vector<PackageRelationship> ReadRelationships(const std::map<std::string, std::string>& entries,
                                                   const std::string& part)
{
    const auto slash = part.rfind('/');
    const std::string relsName = slash == std::string::npos
                                     ? "_rels/" + part + ".rels"
                                     : part.substr(0, slash) + "/_rels/" + part.substr(slash + 1) + ".rels";
    std::vector<PackageRelationship> result;
    const auto it = entries.find(relsName);
    if (it == entries.end()) {
        return result;
    }
    pugi::xml_document doc;
    if (!doc.load_buffer(it->second.data(), it->second.size())) {
        return result;
    }
    for (auto rel : doc.child("Relationships").children("Relationship")) {
        result.push_back({rel.attribute("Id").value(), rel.attribute("Type").value(),
                          ResolveTarget(part, rel.attribute("Target").value())});
    }
    return result;
}

std::string FormatNumber(double value)
{
    if (value == 0) {
        return "0"; // also for -0
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return {buffer, result.ptr};
}

std::string PartXml(const pugi::xml_document& doc)
{
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return out.str();
}

pugi::xml_node AddPartRoot(pugi::xml_document& doc, const char* name)
{
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "utf-8";
    decl.append_attribute("standalone") = "yes";
    return doc.append_child(name);
}

pugi::xml_node AddVisioRoot(pugi::xml_document& doc, const char* name)
{
    auto root = AddPartRoot(doc, name);
    root.append_attribute("xmlns") = kVisioNamespace;
    root.append_attribute("xmlns:r") = kRelationshipNamespace;
    root.append_attribute("xml:space") = "preserve";
    return root;
}

void AddCell(pugi::xml_node node, const char* name, double value, const std::string& formula)
{
    auto cell = node.append_child("Cell");
    cell.append_attribute("N") = name;
    cell.append_attribute("V") = FormatNumber(value).c_str();
    if (!formula.empty()) {
        cell.append_attribute("F") = formula.c_str();
    }
}

pugi::xml_node AddRow(pugi::xml_node section, const char* type, int index, double x, double y)
{
    auto row = section.append_child("Row");
    row.append_attribute("T") = type;
    row.append_attribute("IX") = index;
    AddCell(row, "X", x);
    AddCell(row, "Y", y);
    return row;
}

pugi::xml_node AddPageSheet(pugi::xml_node parent, double width, double height)
{
    auto sheet = parent.append_child("PageSheet");
    sheet.append_attribute("LineStyle") = 0;
    sheet.append_attribute("FillStyle") = 0;
    sheet.append_attribute("TextStyle") = 0;
    AddCell(sheet, "PageWidth", width);
    AddCell(sheet, "PageHeight", height);
    AddCell(sheet, "PageScale", 1);
    AddCell(sheet, "DrawingScale", 1);
    return sheet;
}

} // namespace tessvale
