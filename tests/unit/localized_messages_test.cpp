#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/settings.h"

namespace tesmo {
namespace {

TEST(LocalizedMessages, OnlyCarriedKeysShowCutWhereNarrowTextsAreBeforeTheArgumentGoesIn) {
    localizedSettings = {{1016, u"Keine Java\u2011Laufzeit ({0} Bit) {0}"},
                         {1009, WideString(kMessageCapacity, u'\u00e4') + u"{0}"}};
    const WideString bits = u"64";
    EXPECT_EQ(localizedMessage(1016, &bits), u"Keine Java\u2011Laufzeit (64 Bit) {0}");
    EXPECT_EQ(localizedMessage(1005, &bits), std::nullopt);
    EXPECT_EQ(localizedMessage(1009, &bits), WideString(kMessageCapacity - 1, u'\u00e4'));
    localizedSettings.clear();
}

}  // namespace
}  // namespace tesmo
