// The update service's answer is read by the update run before anything is shown or
// downloaded; until its transport is proven it may come from anyone on the network path.
// The reader takes the record with id 1 or nothing, whatever the bytes are.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/update_check.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const auto record = tessvale::ParseUpdateAnswer(answer);
    if (record) {
        // Every field is a text of the answer itself.
        const std::size_t total = record->update.size() + record->silent.size() + record->productName.size() +
                                  record->info.size() + record->url.size();
        tessvale::fuzz::Require(total <= size, "record texts larger than the answer");
    }
    return 0;
}
