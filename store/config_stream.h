// Reading a configuration file in one stream, for a reader that needs one stored
// result of a document that may hold many: the file is never held whole, and the
// document built keeps only the records asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <pugixml.hpp>

#include "store/config_store.h"

namespace tessvale {

struct StreamOutcome
{
    enum class Kind
    {
        Loaded,
        Unreadable, // `error` has the errno
        TooLarge,
        Empty,     // no byte at all
        Malformed, // `line` and `status` say where and what
        TooDeep,
    };
    Kind kind = Kind::Loaded;
    int error = 0;
    std::size_t line = 0;
    std::string status;
};

// Reads the open regular file `fd` from its start twice: once to check the whole
// document and find the owners asked for, once to build `document` from it without
// the members of other owners. At most `cap` bytes are read; elements nested deeper
// than `maxDepth` levels make it TooDeep. Entity declarations are refused. `document`
// is empty unless the outcome is Loaded.
StreamOutcome StreamSelected(int fd, std::uint64_t cap, int maxDepth, const RecordSelection& selection,
                             pugi::xml_document& document);

} // namespace tessvale
