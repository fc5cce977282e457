// Option parsing shared by the verbs: `--name value` pairs and positional arguments, `--` before
// arguments that start with "-", messages that name the verb and a usage text on --help.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "platform/base/win_types.h"

class Options {
  public:
    Options(std::span<char*> args, std::string_view usage, std::string_view verb);

    // Steps to the next argument; false at the end or after --help or an error. After `--`
    // every argument is positional.
    bool next();
    bool is(std::string_view name) const { return !m_positional_only && m_current == name; }
    // -q or --quiet.
    bool is_quiet() const { return is("-q") || is("--quiet"); }
    // Values of the current option.
    bool text(std::string& value);
    // A value that must not be empty.
    bool nonempty_text(std::string& value);
    bool integer(LONG& value, LONG low, LONG high);
    bool number(double& value, double low, double high);
    bool one_of(const std::string& value, std::initializer_list<std::string_view> allowed);
    // `--clock real|manual`: true in `manual` for the manual clock.
    bool manual_clock(bool& manual);
    // Takes the current argument as the (single) positional one; refuses unknown options. "-"
    // is positional: standard input or output.
    bool positional(std::string& value);

    // True when parsing ended with --help or an error; status() is then the exit status.
    bool done() const { return m_done; }
    int status() const { return m_status; }
    int usage_error(const std::string& message);

    // `--info KEY=TEXT`: the INFO chunk id that KEY names (an info property such as infoName,
    // a chunk id such as INAM, or a common name such as title, in any case; DISP or
    // infoDisplayName for the display name) and the text. False, after a usage error, when KEY
    // names none of them.
    bool info_text(std::string& id, std::string& text);

  private:
    std::span<char*> m_args;
    std::string_view m_usage;
    std::string m_verb;
    std::size_t m_index = 0;
    std::string_view m_current;
    bool m_positional_only = false;
    bool m_done = false;
    int m_status = 0;
};

// The INFO chunk id of a common name for a text ("title" is INAM), or empty.
std::string_view info_id_for_alias(std::string_view alias);
