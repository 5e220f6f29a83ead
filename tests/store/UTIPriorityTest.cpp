#include "store/UTIPriority.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

TEST(UTIPriorityTest, RanksTypesByTheFirstRuleThatHolds)
{
    // Substring rules (first five) match anywhere; the others are exact names or a prefix.
    const std::vector<std::pair<QString, int>> cases {
        {"com.apple.flexo.proFFPasteboardUTI", 1000},
        {"x-com.apple.finalcutpro.xml", 1000},
        {"com.apple.motion.clip", 900},
        {"com.apple.logic.region", 900},
        {"com.adobe.pdf", 800},
        {"public.rtf", 500},
        {"com.apple.rtfd", 500},
        {"public.html", 400},
        {"public.image", 300},
        {"public.image.anything", 300},
        {"public.png", 300},
        {"public.jpeg", 300},
        {"public.tiff", 300},
        {"public.utf8-plain-text", 100},
        {"public.plain-text", 100},
        {"public.file-url", 200},
        {"public.heic", 50},
        {"public.jpeg-2000", 50},
        {"public.rtf.extra", 50},
        {"COM.ADOBE.PDF", 50},
        {"public.utf16-plain-text", 50},
        {"", 50},
    };
    for (const auto& [type, rank] : cases)
        EXPECT_EQ(UTIPriority::priority(type), rank) << qPrintable(type);

    EXPECT_EQ(UTIPriority::blockedUTIs(),
        (QSet<QString> {
            "org.nspasteboard.ConcealedType", "com.apple.security.keychain-item", "com.agilebits.onepassword"}));

    // The one priority sort: highest first, equal priorities keep their order.
    std::vector<std::pair<QString, int>> ranked {{"a", 100}, {"b", 300}, {"c", 100}, {"d", 1000}, {"e", 300}};
    UTIPriority::sortByPriority(ranked, [](const std::pair<QString, int>& entry) { return entry.second; });
    QStringList order;
    for (const auto& entry : ranked)
        order << entry.first;
    EXPECT_EQ(order, (QStringList {"d", "b", "e", "a", "c"}));
}
