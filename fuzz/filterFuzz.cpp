// Arbitrary text as a print filter expression, as typed after `filter` or
// given to --filter. Checks that a refused text leaves the filter as it was,
// and that an accepted one is shown as an expression that reads back to the
// same filter.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "filter/zvEacFilter.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "filterFuzz: %s '%s'\n", what, detail.c_str());
    std::abort();
}

bool same(const ZvEacFilter& a, const ZvEacFilter& b) {
    return a.byAddress == b.byAddress && a.byMsgId == b.byMsgId && a.addresses == b.addresses && a.msgIds == b.msgIds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string expression = text.substr(0, text.find('\0'));

    ZvEacFilter before{};
    before.byAddress = TRUE;
    before.addresses[3] = 0x10;
    ZvEacFilter filter = before;
    if (zvEacFilterParseText(expression.c_str(), filter) == FALSE) {
        if (!same(filter, before)) {
            fail("a refused expression changed the filter:", expression);
        }
        return 0;
    }
    std::string shown(ZV_EAC_FILTER_TEXT_MAX, '\0');
    zvEacFilterDescribe(filter, shown.data(), shown.size());
    shown.resize(shown.find('\0'));
    if (shown.size() + 1 >= ZV_EAC_FILTER_TEXT_MAX) {
        fail("description cut:", shown);
    }
    ZvEacFilter again{};
    if (zvEacFilterParseText(shown.c_str(), again) == FALSE || !same(again, filter)) {
        fail("shown as an expression that reads otherwise:", shown);
    }
    // Whatever it lets through, the two questions agree on addresses.
    for (unsigned a = 0; a < 256; ++a) {
        const auto address = static_cast<U8>(a);
        if (zvEacFilterTelegramPasses(filter, address, address, 0xA3) != FALSE &&
            zvEacFilterAddressPasses(filter, address, address) == FALSE) {
            fail("a telegram passes where its addresses do not:", expression);
        }
    }
    return 0;
}
