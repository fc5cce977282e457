#include "tools/verbs/options.h"

#include <charconv>
#include <cstdlib>
#include <iostream>

#include "control/kelvane_info_slots.h"
#include "platform/com/typeinfo.h"

Options::Options(std::span<char*> args, std::string_view usage, std::string_view verb)
    : m_args(args), m_usage(usage), m_verb(verb) {}

namespace {

// The names people know the texts by, and the INFO chunk each fills.
struct InfoAlias {
    std::string_view alias;
    std::string_view id;
};
constexpr InfoAlias kInfoAliases[] = {
    {"title", "INAM"},     {"artist", "IART"},   {"album", "IPRD"},
    {"comment", "ICMT"},   {"date", "ICRD"},     {"genre", "IGNR"},
    {"copyright", "ICOP"}, {"software", "ISFT"}, {"keywords", "IKEY"},
};

}  // namespace

std::string_view info_id_for_alias(std::string_view alias) {
    for (const auto& a : kInfoAliases)
        if (names_equal(alias, a.alias)) return a.id;
    return {};
}

bool Options::next() {
    if (m_done || m_index >= m_args.size()) return false;
    m_current = m_args[m_index++];
    if (m_current == "--" && !m_positional_only) {
        m_positional_only = true;
        if (m_index >= m_args.size()) return false;
        m_current = m_args[m_index++];
        return true;
    }
    if (m_positional_only) return true;
    if (m_current == "--help" || m_current == "-h") {
        std::cout << m_usage;
        m_done = true;
        m_status = 0;
        return false;
    }
    return true;
}

int Options::usage_error(const std::string& message) {
    // The message, the verb's synopsis (its usage up to the first blank line) and where to
    // read more.
    const std::string_view synopsis = m_usage.substr(0, m_usage.find("\n\n") + 1);
    std::cerr << "kelvane " << m_verb << ": " << message << "\n"
              << synopsis << "`kelvane help " << m_verb << "` says more.\n";
    m_done = true;
    m_status = 2;
    return m_status;
}

bool Options::text(std::string& value) {
    if (m_index >= m_args.size()) {
        usage_error(std::string(m_current) + " needs a value");
        return false;
    }
    value = m_args[m_index++];
    return true;
}

bool Options::nonempty_text(std::string& value) {
    if (!text(value)) return false;
    if (!value.empty()) return true;
    usage_error(std::string(m_current) + " needs a value, not an empty text");
    return false;
}

bool Options::integer(LONG& value, LONG low, LONG high) {
    std::string word;
    if (!text(word)) return false;
    long long parsed = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), parsed);
    if (ec != std::errc() || end != word.data() + word.size() || parsed < low || parsed > high) {
        usage_error(std::string(m_current) + " takes a whole number from " + std::to_string(low) +
                    " to " + std::to_string(high) + ", not \"" + word + "\"");
        return false;
    }
    value = static_cast<LONG>(parsed);
    return true;
}

bool Options::number(double& value, double low, double high) {
    std::string word;
    if (!text(word)) return false;
    char* end = nullptr;
    const double parsed = std::strtod(word.c_str(), &end);
    if (word.empty() || *end != '\0' || !(parsed >= low && parsed <= high)) {
        usage_error(std::string(m_current) + " takes a number of at least " +
                    std::to_string(static_cast<long long>(low)) + ", not \"" + word + "\"");
        return false;
    }
    value = parsed;
    return true;
}

bool Options::one_of(const std::string& value, std::initializer_list<std::string_view> allowed) {
    for (auto a : allowed)
        if (value == a) return true;
    std::string list;
    for (auto a : allowed) list += (list.empty() ? "" : " or ") + std::string(a);
    usage_error(std::string(m_current) + " takes " + list + ", not \"" + value + "\"");
    return false;
}

bool Options::manual_clock(bool& manual) {
    std::string clock;
    if (!text(clock) || !one_of(clock, {"real", "manual"})) return false;
    manual = clock == "manual";
    return true;
}

bool Options::positional(std::string& value) {
    if (!m_positional_only && m_current.size() > 1 && m_current.front() == '-') {
        usage_error("unknown option " + std::string(m_current));
        return false;
    }
    if (!value.empty()) {
        usage_error("unexpected argument \"" + std::string(m_current) + "\"");
        return false;
    }
    value = std::string(m_current);
    return true;
}

bool Options::info_text(std::string& id, std::string& text) {
    std::string pair;
    if (!this->text(pair)) return false;
    const auto equals = pair.find('=');
    const std::string key = pair.substr(0, equals);
    id.clear();
    if (names_equal(key, "DISP") || names_equal(key, kelvane::kDisplayNameProperty)) id = "DISP";
    if (const std::string_view alias = info_id_for_alias(key); !alias.empty())
        id = std::string(alias);
    for (const auto& slot : kelvane::kInfoSlots)
        if (names_equal(key, slot.id) || (slot.property && names_equal(key, slot.property)))
            id = slot.id;
    if (equals == std::string::npos || id.empty()) {
        usage_error(
            "--info takes KEY=TEXT with KEY an info property, an INFO chunk id or one "
            "of title, artist, album, comment, date, genre, copyright, software, "
            "keywords; not \"" +
            pair + "\"");
        return false;
    }
    text = pair.substr(equals + 1);
    return true;
}
