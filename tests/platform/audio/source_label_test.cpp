// SPDX-License-Identifier: GPL-3.0-or-later
// Source labels: what is written is read back as the same name, whatever the description
// holds, and a name that is not such a label is a name as it stands.
#include <gtest/gtest.h>

#include "platform/audio/source_label.h"

namespace {

TEST(SourceLabel, WrittenLabelsGiveBackTheirNameAndDescription) {
    const struct {
        const char* description;
        const char* name;
        bool monitor;
        const char* label;
    } cases[] = {
        {"Built-in Audio", "alsa_input.pci-0000", false, "Built-in Audio [alsa_input.pci-0000]"},
        {"Monitor of Out", "out.monitor", true, "Monitor of Out [out.monitor] (monitor)"},
        {"USB [2] mic", "usb", false, "USB [2] mic [usb]"},
    };
    for (const auto& c : cases) {
        char label[128];
        FormatSourceLabel(c.description, c.name, c.monitor, label, sizeof label);
        EXPECT_STREQ(label, c.label);
        char name[128];
        SourceNameOfLabel(label, name, sizeof name);
        EXPECT_STREQ(name, c.name);
        EXPECT_EQ(SourceDescriptionOfLabel(label), c.description);
    }
}

TEST(SourceLabel, OtherTextIsANameAsItStands) {
    for (const char* text :
         {"HDA Intel PCH: ALC3246 Analog (hw:0,0)", "[odd] name", "a [b] c", "half [open", ""}) {
        char name[128];
        SourceNameOfLabel(text, name, sizeof name);
        EXPECT_STREQ(name, text);
        EXPECT_EQ(SourceDescriptionOfLabel(text), text);
    }
    char name[8];
    SourceNameOfLabel("Built-in Audio [alsa_input.pci-0000]", name, sizeof name);
    EXPECT_STREQ(name, "alsa_in");  // cut, never past the end
}

}  // namespace
