#include "tools/script/script_runner.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "host/control_host.h"
#include "platform/codec/format_names.h"
#include "platform/loop/message_loop.h"
#include "tools/script/png_writer.h"
#include "tools/script/script_parser.h"

namespace {

struct Failure {
    HRESULT hr;
    std::string reason;
};

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

class ScriptSession {
  public:
    ScriptSession(std::ostream& out, REFCLSID clsid, const ScriptOptions& options)
        : m_out(out),
          m_clsid(clsid),
          m_host(!options.design_mode,
                 [this](const MemberDesc& event, std::span<const Variant> args) {
                     print_event(event, args);
                 }) {}

    HRESULT start() {
        // The control's format chooser answers what the script said with `choose`, once.
        m_previous_chooser = acm_set_format_chooser(
            [this](const ACMFORMATCHOOSEA&, std::span<const AcmFormatChoice> choices) {
                const auto answer = std::exchange(m_next_choice, std::nullopt);
                if (answer)
                    for (std::size_t i = 0; i < choices.size(); ++i)
                        if (choices[i].name == *answer) return static_cast<int>(i);
                return -1;
            });
        return m_host.create(m_clsid);
    }
    ~ScriptSession() { acm_set_format_chooser(std::move(m_previous_chooser)); }
    void finish() { m_host.destroy(); }

    // Runs one line; a failure when the command did not succeed.
    std::optional<Failure> run(const ScriptLine& line) {
        const auto& c = line.command;
        if (c == "set") return set(line);
        if (c == "get") return get(line);
        if (c == "call") return call(line);
        if (c == "wait") return wait(line);
        if (c == "echo") {
            m_out << line.rest << '\n';
            return std::nullopt;
        }
        if (c == "new") return renew(line);
        if (c == "choose") return choose(line);
        if (c == "save") return save(line);
        if (c == "load") return load(line);
        if (c == "draw") return draw(line);
        return Failure{E_NOTIMPL, "not available in this version"};
    }

  private:
    std::optional<Failure> expect_name(const ScriptLine& line, std::size_t min_args,
                                       std::size_t max_args, const MemberDesc*& member) {
        if (line.args.size() < min_args || line.args.size() > max_args)
            return Failure{DISP_E_BADPARAMCOUNT, "wrong number of arguments"};
        if (!m_host.control()) return Failure{E_UNEXPECTED, "no control"};
        member = m_host.members()->find(line.name);
        if (!member) return Failure{DISP_E_UNKNOWNNAME, "unknown name"};
        return std::nullopt;
    }

    std::optional<Failure> set(const ScriptLine& line) {
        const MemberDesc* member = nullptr;
        if (auto f = expect_name(line, 1, 1, member)) return f;
        if (member->kind != MemberKind::property)
            return Failure{DISP_E_MEMBERNOTFOUND, "not a property"};
        return check(dispatch_put(m_host.control(), member->name, line.args[0]));
    }

    std::optional<Failure> get(const ScriptLine& line) {
        const MemberDesc* member = nullptr;
        if (auto f = expect_name(line, 0, 0, member)) return f;
        if (member->kind != MemberKind::property)
            return Failure{DISP_E_MEMBERNOTFOUND, "not a property"};
        Variant value;
        if (auto f = check(dispatch_get(m_host.control(), member->name, value))) return f;
        m_out << member->name << " = " << format_value(value) << '\n';
        return std::nullopt;
    }

    std::optional<Failure> call(const ScriptLine& line) {
        const MemberDesc* member = nullptr;
        if (auto f = expect_name(line, 0, SIZE_MAX, member)) return f;
        if (member->kind != MemberKind::method)
            return Failure{DISP_E_MEMBERNOTFOUND, "not a method"};
        Variant result;
        if (auto f = check(dispatch_call(m_host.control(), member->name, line.args, &result)))
            return f;
        if (member->type != VT_EMPTY)
            m_out << member->name << " -> " << format_value(result) << '\n';
        return std::nullopt;
    }

    std::optional<Failure> wait(const ScriptLine& line) {
        if (line.args.size() != 1 || line.args[0].type() != VT_I4 || line.args[0].as_i4() < 0)
            return Failure{E_INVALIDARG, "expected milliseconds (0 or more)"};
        MessageLoop::instance().run_for(static_cast<std::uint64_t>(line.args[0].as_i4()));
        return std::nullopt;
    }

    std::optional<Failure> choose(const ScriptLine& line) {
        if (line.args.size() != 1 || line.args[0].type() != VT_BSTR)
            return Failure{E_INVALIDARG, "expected a format name or cancel"};
        const std::string name(line.args[0].as_string());
        if (name == "cancel") {
            m_next_choice = std::nullopt;
            return std::nullopt;
        }
        const auto parsed = quillon::codec::parse_format_name(name);
        if (!parsed.ok()) return Failure{E_INVALIDARG, parsed.error};
        m_next_choice = quillon::codec::format_name(parsed.wfx());
        return std::nullopt;
    }

    std::optional<Failure> renew(const ScriptLine& line) {
        if (!line.args.empty()) return Failure{DISP_E_BADPARAMCOUNT, "wrong number of arguments"};
        m_host.destroy();
        return check(m_host.create(m_clsid));
    }

    // The one file operand of save, load and draw.
    static std::optional<Failure> expect_file(const ScriptLine& line, std::string& file) {
        if (line.args.size() != 1 || line.args[0].type() != VT_BSTR ||
            line.args[0].as_string().empty())
            return Failure{DISP_E_BADPARAMCOUNT, "expected one file name"};
        file = std::string(line.args[0].as_string());
        return std::nullopt;
    }

    template <typename I>
    ComPtr<I> control_as() const {
        return ComPtr<IDispatch>(m_host.control()).as<I>();
    }

    // Writes the control's saved-state stream, exactly as a container stores it.
    std::optional<Failure> save(const ScriptLine& line) {
        std::string file;
        if (auto f = expect_file(line, file)) return f;
        auto persist = control_as<IPersistStreamInit>();
        if (!persist) return Failure{E_NOINTERFACE, "the control keeps no saved state"};
        auto stream = make_com<MemoryStream>();
        if (HRESULT hr = persist->Save(stream.get(), TRUE); FAILED(hr))
            return Failure{hr, "the control could not save its state"};
        const auto& bytes = stream->bytes();
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        if (!out ||
            !out.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size())) ||
            !out.flush())
            return Failure{STG_E_WRITEFAULT, "cannot write " + file + ": " + std::strerror(errno)};
        return std::nullopt;
    }

    // Replaces the control with a fresh one loaded from a saved-state stream.
    std::optional<Failure> load(const ScriptLine& line) {
        // Saved state is a few hundred bytes; a file far larger is not one.
        constexpr std::uintmax_t kMaxStateBytes = 16u << 20;
        std::string file;
        if (auto f = expect_file(line, file)) return f;
        std::ifstream in(file, std::ios::binary);
        if (!in)
            return Failure{STG_E_FILENOTFOUND, "cannot open " + file + ": " + std::strerror(errno)};
        std::vector<BYTE> bytes;
        char piece[4096];
        while (in.read(piece, sizeof piece) || in.gcount() > 0) {
            bytes.insert(bytes.end(), piece, piece + in.gcount());
            if (bytes.size() > kMaxStateBytes)
                return Failure{STG_E_READFAULT, file + " is too large for saved state"};
        }
        if (in.bad()) return Failure{STG_E_READFAULT, "cannot read " + file};

        m_host.destroy();
        if (auto f = check(m_host.create(m_clsid))) return f;
        auto persist = control_as<IPersistStreamInit>();
        if (!persist) return Failure{E_NOINTERFACE, "the control keeps no saved state"};
        auto stream = make_com<MemoryStream>(bytes);
        if (HRESULT hr = persist->Load(stream.get()); FAILED(hr))
            return Failure{hr, "the saved state ends early; the control starts as new"};
        return std::nullopt;
    }

    // Asks the control to draw itself, as a design-time container does: into the size it
    // reports, and once more if drawing made it insist on another size.
    std::optional<Failure> draw(const ScriptLine& line) {
        // Pixels per side that this container is willing to give a control.
        constexpr LONG kMaxSide = 4096;
        std::string file;
        if (auto f = expect_file(line, file)) return f;
        auto object = control_as<IOleObject>();
        auto view = control_as<IViewObject>();
        if (!object || !view) return Failure{E_NOINTERFACE, "the control does not draw"};

        std::vector<COLORREF> pixels;
        LONG width = 0, height = 0;
        for (int pass = 0; pass < 2; ++pass) {
            SIZEL extent{};
            if (HRESULT hr = object->GetExtent(DVASPECT_CONTENT, &extent); FAILED(hr))
                return Failure{hr, "the control has no size"};
            const auto w = static_cast<LONG>(std::lround(extent.cx * 96.0 / 2540.0));
            const auto h = static_cast<LONG>(std::lround(extent.cy * 96.0 / 2540.0));
            if (pass == 1 && w == width && h == height) break;
            if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide)
                return Failure{E_INVALIDARG, "the control asks for " + std::to_string(w) + " x " +
                                                 std::to_string(h) + " pixels"};
            width = w;
            height = h;
            if (HRESULT hr = draw_into(*view.get(), width, height, pixels); FAILED(hr))
                return Failure{hr, "the control could not draw itself"};
        }
        std::string error;
        if (!write_png(file, width, height, pixels, error)) return Failure{STG_E_WRITEFAULT, error};
        return std::nullopt;
    }

    static HRESULT draw_into(IViewObject& view, LONG width, LONG height,
                             std::vector<COLORREF>& pixels) {
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP surface = CreateCompatibleBitmap(dc, width, height);
        HGDIOBJ old = SelectObject(dc, surface);
        const RECT bounds{0, 0, width, height};
        const HRESULT hr = view.Draw(DVASPECT_CONTENT, dc, &bounds);
        pixels.assign(static_cast<std::size_t>(width) * height, 0);
        for (LONG y = 0; y < height; ++y)
            for (LONG x = 0; x < width; ++x)
                pixels[static_cast<std::size_t>(y) * width + x] = GetPixel(dc, x, y);
        SelectObject(dc, old);
        DeleteObject(surface);
        DeleteDC(dc);
        return hr;
    }

    static std::optional<Failure> check(HRESULT hr) {
        if (SUCCEEDED(hr)) return std::nullopt;
        return Failure{hr, hresult_text(hr)};
    }

    void print_event(const MemberDesc& event, std::span<const Variant> args) {
        m_out << "event " << event.name << '(';
        for (std::size_t i = 0; i < args.size(); ++i)
            m_out << (i ? ", " : "") << format_value(args[i]);
        m_out << ")\n";
        m_out.flush();
    }

    std::ostream& m_out;
    CLSID m_clsid;
    ControlHost m_host;
    std::optional<std::string> m_next_choice;  // the chooser's next answer; none cancels
    AcmFormatChooserHook m_previous_chooser;
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// A script line is a command and a few arguments; input with far longer lines is no script,
// and holding it would only eat memory (a device file has no line ends at all).
constexpr std::size_t kMaxLineBytes = 1u << 20;

// One line without its line end, as getline reads it, but of at most kMaxLineBytes: false at
// the end of the input, and also (with `too_long`) at a longer line.
bool read_line(std::istream& in, std::string& text, bool& too_long) {
    text.clear();
    std::streambuf* buffer = in.rdbuf();
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return !text.empty();
        }
        if (c == '\n') return true;
        if (text.size() >= kMaxLineBytes) {
            too_long = true;
            return false;
        }
        text.push_back(static_cast<char>(c));
    }
}

}  // namespace

int run_script(std::istream& in, std::ostream& out, REFCLSID clsid, const ScriptOptions& options) {
    MessageLoop::instance().set_clock(options.manual_clock ? ClockKind::manual : ClockKind::real);
    ScriptSession session(out, clsid, options);
    if (HRESULT hr = session.start(); FAILED(hr)) {
        out << "error: cannot create the control " << guid_to_string(clsid) << ": " << hex(hr)
            << ' ' << hresult_text(hr) << '\n';
        return 1;
    }
    int status = 0;
    std::string text;
    bool too_long = false;
    while (read_line(in, text, too_long)) {
        const ScriptParse parsed = parse_script_line(text);
        std::optional<Failure> failure;
        if (!parsed.error.empty())
            failure = Failure{E_INVALIDARG, parsed.error};
        else if (parsed.line)
            failure = session.run(*parsed.line);
        if (failure) {
            out << "error: " << trimmed(text) << ": " << hex(failure->hr) << ' ' << failure->reason
                << '\n';
            status = 1;
        }
        out.flush();
    }
    if (too_long) {
        out << "error: a line longer than " << kMaxLineBytes
            << " bytes is no script line; the script ends here\n";
        status = 1;
    }
    session.finish();
    return status;
}
