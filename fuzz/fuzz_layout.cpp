// The stored-layout reader on arbitrary bytes: it refuses or it returns records that keep its
// promises (the form first, names unique, texts and states within their limits, every line
// inside the file), and a refusal always names a line of the file or the file as a whole.
#include <QSet>
#include <cstdint>

#include "app/layout/layout_reader.h"

using namespace quillon::forms;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const int lines = int(bytes.count('\n')) + 1;
    LayoutError error;
    const auto layout = read_layout(bytes, QStringLiteral("fuzz.layout"), error);
    if (!layout) {
        if (error.message.isEmpty() || error.line < 0 || error.line > lines) __builtin_trap();
        return 0;
    }
    if (layout->records.empty() || layout->records.front().kind != LayoutRecord::Kind::form)
        __builtin_trap();
    if (layout->records.size() > max_layout_records) __builtin_trap();
    QSet<QString> names;
    int previous_line = 0;
    for (const LayoutRecord& record : layout->records) {
        if (record.line <= previous_line || record.line > lines) __builtin_trap();
        previous_line = record.line;
        if (names.contains(record.full_name())) __builtin_trap();
        names.insert(record.full_name());
        if (!record.parent.isEmpty() && !names.contains(record.parent)) __builtin_trap();
        if (record.properties.size() > max_record_properties) __builtin_trap();
        for (const LayoutProperty& p : record.properties) {
            if (p.line <= record.line || p.line > lines) __builtin_trap();
            if (p.value.text.size() > max_layout_text) __builtin_trap();
            if (p.value.bytes.size() > max_layout_state_bytes) __builtin_trap();
        }
    }
    return 0;
}
