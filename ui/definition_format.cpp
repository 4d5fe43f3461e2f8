// The table of control kinds and where each keeps its fields.
#include "ui/definition_format.h"

#include <array>

namespace sk::ui {
namespace {

constexpr KindLayout make(std::uint8_t kind, std::uint32_t size, std::uint32_t pos) {
    KindLayout k{};
    k.kind = kind;
    k.size = size;
    k.pos = pos;
    return k;
}

constexpr std::array<KindLayout, 19> build_table() {
    std::array<KindLayout, 19> t{};
    std::size_t n = 0;
    KindLayout k = make(kKindStringVar, 58, 25);
    k.binding = 21; k.picture = 45; k.options = 53; k.display = 54;
    t[n++] = k;
    k = make(kKindString, 53, 21);
    k.text = 41; k.words = 45;
    t[n++] = k;
    k = make(kKindImage, 41, 21);
    k.file = 37;
    t[n++] = k;
    k = make(kKindRegion, 53, 21);
    k.colors = 37; k.strings = 49;
    t[n++] = k;
    t[n++] = make(kKindLine, 37, 21);
    k = make(kKindBox, 45, 21);
    k.colors = 37;
    t[n++] = k;
    k = make(kKindEntry, 78, 25);
    k.binding = 21; k.attr = 41; k.attr_size = kAttributeBlockSize; k.picture = 69; k.width = 73; k.options = 77;
    t[n++] = k;
    k = make(kKindButton, 82, 21);
    k.attr = 37; k.attr_size = kAttributeBlockSize; k.text = 65; k.icon = 69; k.action = 77; k.options = 81;
    t[n++] = k;
    k = make(kKindPrompt, 45, 21);
    k.text = 41;
    t[n++] = k;
    k = make(kKindOption, 77, 25);
    k.binding = 21; k.text = 69; k.children = 73;
    t[n++] = k;
    k = make(kKindCheck, 73, 25);
    k.binding = 21; k.attr = 41; k.attr_size = kAttributeBlockSize; k.text = 69;
    t[n++] = k;
    k = make(kKindList, 99, 29);
    k.binding = 21; k.format = 25; k.attr = 45; k.attr_size = kAttributeBlockSize; k.drop = 73; k.row_source = 78;
    k.strings = 95;
    t[n++] = k;
    k = make(kKindCombo, 103, 29);
    // A combo lays out like a list (its drop list's rows come from a queue at
    // 78) and adds the entry's picture at 99.
    k.binding = 21; k.format = 25; k.attr = 45; k.attr_size = kAttributeBlockSize; k.drop = 73; k.row_source = 78;
    k.picture = 99;
    t[n++] = k;
    k = make(kKindSpin, 106, 25);
    k.binding = 21; k.attr = 41; k.attr_size = kAttributeBlockSize; k.picture = 69; k.low = 78; k.high = 86;
    k.step = 94; k.row_source = 102;
    t[n++] = k;
    k = make(kKindText, 78, 25);
    k.binding = 21; k.attr = 41; k.attr_size = kAttributeBlockSize; k.options = 77;
    t[n++] = k;
    k = make(kKindRadio, 69, 21);
    k.text = 65;
    t[n++] = k;
    // The progress bar's low and high values keep their offsets 49 and 57; its
    // attribute block is cut to the message and the reserved word before them.
    k = make(kKindProgress, 65, 25);
    k.binding = 21; k.attr = 41; k.attr_size = 8; k.low = 49; k.high = 57;
    t[n++] = k;
    k = make(kKindSheet, 77, 25);
    k.binding = 21; k.children = 73;
    t[n++] = k;
    k = make(kKindTab, 54, 21);
    k.options = 41; k.text = 42; k.children = 50;
    t[n++] = k;
    return t;
}

constexpr std::array<KindLayout, 19> kTable = build_table();

}  // namespace

const KindLayout* kind_layout(std::uint8_t kind) {
    for (const KindLayout& k : kTable)
        if (k.kind == kind) return &k;
    return nullptr;
}

}  // namespace sk::ui
