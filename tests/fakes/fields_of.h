// One member of each element of a list, in order: the messages of the recorded scan
// events, the kinds of the host changes, compared as a whole in one line.
#pragma once

#include <algorithm>
#include <iterator>
#include <vector>

namespace tessvale::test {

template <class Item, class Field> std::vector<Field> FieldsOf(const std::vector<Item>& items, Field Item::*field)
{
    std::vector<Field> fields;
    fields.reserve(items.size());
    std::ranges::transform(items, std::back_inserter(fields), [field](const Item& item) { return item.*field; });
    return fields;
}

} // namespace tessvale::test
