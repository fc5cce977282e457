// Format names: built from the drivers' own enumerations, so the list, the chooser and the
// parser can never disagree.
#include "platform/codec/format_names.h"

#include <algorithm>
#include <cctype>

#include "platform/codec/driver.h"

namespace quillon::codec {

namespace {

std::string name_of(const CodecDriver& d, const WAVEFORMATEX& wfx) {
    std::string name = std::string(d.short_name()) + ":" + std::to_string(wfx.nSamplesPerSec) +
                       ":" + std::to_string(wfx.nChannels);
    const std::string detail = d.name_detail(wfx);
    if (!detail.empty()) name += ":" + detail;
    return name;
}

std::string tag_list() {
    std::string tags;
    for (const auto& d : drivers()) {
        if (!tags.empty()) tags += ", ";
        tags += d->short_name();
    }
    return tags;
}

// Checks the shape of a name; returns "" when it is well formed.
std::string shape_error(std::string_view name) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = name.find(':', start);
        fields.push_back(name.substr(start, colon - start));
        if (colon == std::string_view::npos) break;
        start = colon + 1;
    }
    const std::string syntax =
        "format names read TAG:RATE:CHANNELS, with :BITS for pcm and :KBPS for mp3, TAG one of " +
        tag_list();
    if (fields.size() < 3 || fields.size() > 4) return syntax;
    bool known = false;
    for (const auto& d : drivers()) known = known || fields[0] == d->short_name();
    // Built by appending: GCC 12 at -O3 misreads chained string operator+ (-Wrestrict).
    std::string error;
    if (!known) {
        error.append("unknown format tag '").append(fields[0]).append("'; ").append(syntax);
        return error;
    }
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const auto f = fields[i];
        if (f.empty() ||
            !std::all_of(f.begin(), f.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            error.append("'").append(f).append("' is not a number; ").append(syntax);
            return error;
        }
    }
    return "";
}

}  // namespace

std::vector<AcmFormatChoice> format_choices() {
    std::vector<AcmFormatChoice> choices;
    for (const auto& d : drivers()) {
        for (const WaveFormat& f : d->formats()) {
            AcmFormatChoice c;
            c.name = name_of(*d, f.wfx());
            c.tag_name = d->tag_name(f.wfx().wFormatTag);
            c.description = d->describe(f.wfx());
            c.format.assign(f.bytes().begin(), f.bytes().end());
            choices.push_back(std::move(c));
        }
    }
    return choices;
}

std::string format_list_text() {
    const std::vector<AcmFormatChoice> choices = format_choices();
    std::size_t name_width = 0;
    std::size_t tag_width = 0;
    for (const auto& c : choices) {
        name_width = std::max(name_width, c.name.size());
        tag_width = std::max(tag_width, c.tag_name.size());
    }
    std::string text;
    for (const auto& c : choices) {
        text += c.name + std::string(name_width - c.name.size() + 2, ' ');
        text += c.tag_name + std::string(tag_width - c.tag_name.size() + 2, ' ');
        text += c.description + "\n";
    }
    return text;
}

ParsedFormat parse_format_name(std::string_view name) {
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    ParsedFormat result;
    for (auto& c : format_choices()) {
        if (c.name == key) {
            result.format = std::move(c.format);
            return result;
        }
    }
    const std::string shape = shape_error(key);
    if (shape.empty()) {
        result.error.append("no format named '")
            .append(name)
            .append(
                "': that tag has no such rate, channel count, bits or bit rate (the format list "
                "shows every format)");
    } else {
        result.error.append("'").append(name).append("' is not a format name: ").append(shape);
    }
    return result;
}

std::string format_name(const WAVEFORMATEX& wfx) {
    const CodecDriver* d = driver_for(wfx.wFormatTag);
    if (d == nullptr || d->tags().front() != wfx.wFormatTag) return "";
    if (d->describe(wfx).empty()) return "";
    return name_of(*d, wfx);
}

}  // namespace quillon::codec
