// Hotkeys through the desktop portal's global shortcuts, for Wayland sessions, where no client may
// grab keys itself. Each registration is a portal session of its own holding one shortcut, so
// giving one back (closing its session) leaves the others alone. The portal answers requests by a
// Response signal on a request object whose path follows from our bus name and a token we choose;
// a registration waits for that answer, since the desktop may first ask the user.
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/hotkey/hotkey.h"
#include "platform/hotkey/worker_backend.h"

// After ours: it defines TRUE and FALSE as macros unless they exist already.
#include <dbus/dbus.h>

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcuts = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kRequest = "org.freedesktop.portal.Request";
constexpr const char* kSession = "org.freedesktop.portal.Session";
constexpr int kCallTimeoutMs = 5000;
// How long a registration waits for the desktop, which may be asking the user to confirm.
constexpr auto kAnswerTimeout = std::chrono::seconds(60);

struct ConnectionCloser {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
using ConnectionPtr = std::unique_ptr<DBusConnection, ConnectionCloser>;

struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<DBusMessage, MessageUnref>;

class Error {
  public:
    Error() { dbus_error_init(&m_error); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
    ~Error() { dbus_error_free(&m_error); }
    DBusError* get() { return &m_error; }
    bool set() const { return dbus_error_is_set(&m_error); }
    std::string text() const { return m_error.message ? m_error.message : "unknown error"; }

  private:
    DBusError m_error;
};

// Options and shortcut properties: dictionaries of string values.
using Options = std::vector<std::pair<const char*, std::string>>;

void append_options(DBusMessageIter* into, const Options& options) {
    DBusMessageIter dict;
    dbus_message_iter_open_container(into, DBUS_TYPE_ARRAY, "{sv}", &dict);
    for (const auto& [key, value] : options) {
        DBusMessageIter entry, variant;
        dbus_message_iter_open_container(&dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
        dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "s", &variant);
        const char* text = value.c_str();
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &text);
        dbus_message_iter_close_container(&entry, &variant);
        dbus_message_iter_close_container(&dict, &entry);
    }
    dbus_message_iter_close_container(into, &dict);
}

// What a Response carries that we use.
struct Answer {
    dbus_uint32_t response = 2;   // 0 success, 1 cancelled by the user, 2 other
    std::string session;          // "session_handle"
    std::set<std::string> bound;  // ids of the "shortcuts" the desktop bound
};

std::string string_of(DBusMessageIter* variant) {
    const int type = dbus_message_iter_get_arg_type(variant);
    if (type != DBUS_TYPE_STRING && type != DBUS_TYPE_OBJECT_PATH) return {};
    const char* text = nullptr;
    dbus_message_iter_get_basic(variant, &text);
    return text ? text : "";
}

void read_shortcut_ids(DBusMessageIter* variant, std::set<std::string>& ids) {
    if (dbus_message_iter_get_arg_type(variant) != DBUS_TYPE_ARRAY) return;
    DBusMessageIter shortcuts;
    dbus_message_iter_recurse(variant, &shortcuts);
    while (dbus_message_iter_get_arg_type(&shortcuts) == DBUS_TYPE_STRUCT) {
        DBusMessageIter shortcut;
        dbus_message_iter_recurse(&shortcuts, &shortcut);
        if (dbus_message_iter_get_arg_type(&shortcut) == DBUS_TYPE_STRING)
            ids.insert(string_of(&shortcut));
        dbus_message_iter_next(&shortcuts);
    }
}

Answer read_answer(DBusMessage* signal) {
    Answer answer;
    DBusMessageIter args;
    if (!dbus_message_iter_init(signal, &args) ||
        dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_UINT32)
        return answer;
    dbus_message_iter_get_basic(&args, &answer.response);
    if (!dbus_message_iter_next(&args) || dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_ARRAY)
        return answer;
    DBusMessageIter results;
    dbus_message_iter_recurse(&args, &results);
    while (dbus_message_iter_get_arg_type(&results) == DBUS_TYPE_DICT_ENTRY) {
        DBusMessageIter entry, value;
        dbus_message_iter_recurse(&results, &entry);
        const std::string key = string_of(&entry);
        dbus_message_iter_next(&entry);
        dbus_message_iter_recurse(&entry, &value);
        if (key == "session_handle") answer.session = string_of(&value);
        if (key == "shortcuts") read_shortcut_ids(&value, answer.bound);
        dbus_message_iter_next(&results);
    }
    return answer;
}

// "CTRL+r", as the desktop's shortcut triggers are written.
std::string trigger_of(HotkeyCombination combination) {
    return spell_combination(combination, {"CTRL", "ALT", "SHIFT", "LOGO"},
                             key_name_of(combination.vk));
}

class PortalHotkeys final : public WorkerHotkeyBackend {
  public:
    PortalHotkeys(ConnectionPtr connection, Pressed pressed)
        : m_connection(std::move(connection)), m_pressed(std::move(pressed)) {
        // Our request objects live under the bus name with ':' dropped and '.' made '_'.
        std::string sender = dbus_bus_get_unique_name(m_connection.get());
        if (!sender.empty() && sender.front() == ':') sender.erase(0, 1);
        for (char& c : sender)
            if (c == '.') c = '_';
        m_request_prefix = std::string(kPortalPath) + "/request/" + sender + "/";
        dbus_connection_add_filter(m_connection.get(), &PortalHotkeys::on_message, this, nullptr);
    }

    bool start() {
        int fd = -1;
        if (!dbus_connection_get_unix_fd(m_connection.get(), &fd)) return false;
        return start_worker(fd, [this] { read_messages(); });
    }

    ~PortalHotkeys() override {
        stop_worker();
        for (const auto& [token, bound] : m_bound) close_session(bound.session);
        dbus_connection_flush(m_connection.get());
        dbus_connection_remove_filter(m_connection.get(), &PortalHotkeys::on_message, this);
    }

  private:
    struct Bound {
        std::string session;
        std::string id;
    };

    void release_on_worker(int token) override {
        const auto it = m_bound.find(token);
        if (it == m_bound.end()) return;
        close_session(it->second.session);
        dbus_connection_flush(m_connection.get());
        m_bound.erase(it);
    }

    bool grab_on_worker(int token, HotkeyCombination combination, std::string& error) override {
        const std::string trigger = trigger_of(combination);
        Answer answer;
        const std::string session_token = "quillon_" + std::to_string(token);
        if (!request(
                "CreateSession", answer, error, [&](DBusMessageIter* args, const char* handle) {
                    append_options(
                        args, {{"handle_token", handle}, {"session_handle_token", session_token}});
                }))
            return false;
        if (answer.response != 0 || answer.session.empty()) {
            error = "the desktop refused a shortcut session";
            return false;
        }
        const std::string session = answer.session;
        const std::string id = "hotkey-" + trigger;
        const bool asked =
            request("BindShortcuts", answer, error, [&](DBusMessageIter* args, const char* handle) {
                const char* path = session.c_str();
                dbus_message_iter_append_basic(args, DBUS_TYPE_OBJECT_PATH, &path);
                DBusMessageIter shortcuts, shortcut;
                dbus_message_iter_open_container(args, DBUS_TYPE_ARRAY, "(sa{sv})", &shortcuts);
                dbus_message_iter_open_container(&shortcuts, DBUS_TYPE_STRUCT, nullptr, &shortcut);
                const char* name = id.c_str();
                dbus_message_iter_append_basic(&shortcut, DBUS_TYPE_STRING, &name);
                append_options(&shortcut, {{"description", "Hotkey " + trigger},
                                           {"preferred_trigger", trigger}});
                dbus_message_iter_close_container(&shortcuts, &shortcut);
                dbus_message_iter_close_container(args, &shortcuts);
                const char* no_parent = "";
                dbus_message_iter_append_basic(args, DBUS_TYPE_STRING, &no_parent);
                append_options(args, {{"handle_token", handle}});
            });
        if (!asked || answer.response != 0 || !answer.bound.contains(id)) {
            close_session(session);
            dbus_connection_flush(m_connection.get());
            if (asked)
                error = answer.response == 1 ? "the user declined " + trigger
                                             : "the desktop did not bind " + trigger;
            return false;
        }
        m_bound[token] = {session, id};
        return true;
    }

    // Calls a request method of the portal and waits for its Response.
    template <class AppendArgs>
    bool request(const char* method, Answer& answer, std::string& error, AppendArgs append) {
        const std::string handle = "quillon" + std::to_string(++m_requests);
        MessagePtr call(dbus_message_new_method_call(kPortal, kPortalPath, kShortcuts, method));
        if (!call) {
            error = "out of memory";
            return false;
        }
        DBusMessageIter args;
        dbus_message_iter_init_append(call.get(), &args);
        append(&args, handle.c_str());
        Error failure;
        MessagePtr reply(dbus_connection_send_with_reply_and_block(m_connection.get(), call.get(),
                                                                   kCallTimeoutMs, failure.get()));
        if (!reply) {
            error = std::string(method) + ": " + failure.text();
            return false;
        }
        const char* path = nullptr;
        if (!dbus_message_get_args(reply.get(), failure.get(), DBUS_TYPE_OBJECT_PATH, &path,
                                   DBUS_TYPE_INVALID)) {
            error = std::string(method) + ": " + failure.text();
            return false;
        }
        return wait_for_answer(path, answer, error);
    }

    bool wait_for_answer(const std::string& path, Answer& answer, std::string& error) {
        const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
        for (;;) {
            if (const auto it = m_answers.find(path); it != m_answers.end()) {
                answer = std::move(it->second);
                m_answers.erase(it);
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                error = "the desktop did not answer";
                return false;
            }
            if (!dbus_connection_read_write_dispatch(m_connection.get(),
                                                     static_cast<int>(left.count()))) {
                error = "the session bus went away";
                return false;
            }
        }
    }

    void close_session(const std::string& session) {
        MessagePtr call(dbus_message_new_method_call(kPortal, session.c_str(), kSession, "Close"));
        if (call) dbus_connection_send(m_connection.get(), call.get(), nullptr);
    }

    void read_messages() {
        DBusConnection* c = m_connection.get();
        if (!dbus_connection_read_write(c, 0)) return;
        while (dbus_connection_dispatch(c) == DBUS_DISPATCH_DATA_REMAINS) {
        }
    }

    static DBusHandlerResult on_message(DBusConnection*, DBusMessage* message, void* self) {
        static_cast<PortalHotkeys*>(self)->handle(message);
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    }

    void handle(DBusMessage* message) {
        if (dbus_message_is_signal(message, kRequest, "Response")) {
            const char* path = dbus_message_get_path(message);
            if (path && std::string_view(path).starts_with(m_request_prefix))
                m_answers[path] = read_answer(message);
            return;
        }
        if (dbus_message_is_signal(message, kShortcuts, "Activated")) {
            const char* session = nullptr;
            const char* id = nullptr;
            if (!dbus_message_get_args(message, nullptr, DBUS_TYPE_OBJECT_PATH, &session,
                                       DBUS_TYPE_STRING, &id, DBUS_TYPE_INVALID))
                return;
            for (const auto& [token, bound] : m_bound)
                if (bound.session == session && bound.id == id) m_pressed(token);
        }
    }

    ConnectionPtr m_connection;
    Pressed m_pressed;
    std::string m_request_prefix;
    unsigned m_requests = 0;
    std::map<std::string, Answer> m_answers;  // by request path, until waited for
    std::map<int, Bound> m_bound;             // worker thread only
};

bool offers_global_shortcuts(DBusConnection* connection, std::string& why) {
    MessagePtr call(dbus_message_new_method_call(kPortal, kPortalPath,
                                                 "org.freedesktop.DBus.Properties", "Get"));
    if (!call) return why = "out of memory", false;
    const char* interface = kShortcuts;
    const char* property = "version";
    dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                             DBUS_TYPE_INVALID);
    Error failure;
    MessagePtr reply(dbus_connection_send_with_reply_and_block(connection, call.get(),
                                                               kCallTimeoutMs, failure.get()));
    if (!reply)
        return why = "the desktop portal offers no global shortcuts: " + failure.text(), false;
    return true;
}

bool add_match(DBusConnection* connection, const char* rule, std::string& why) {
    Error failure;
    dbus_bus_add_match(connection, rule, failure.get());
    if (failure.set()) return why = "cannot listen to the portal: " + failure.text(), false;
    return true;
}

}  // namespace

std::unique_ptr<HotkeyBackend> open_portal_hotkeys(HotkeyBackend::Pressed pressed,
                                                   std::string& why) {
    Error failure;
    ConnectionPtr connection(dbus_bus_get_private(DBUS_BUS_SESSION, failure.get()));
    if (!connection) {
        why = "no session bus: " + failure.text();
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    if (!offers_global_shortcuts(connection.get(), why) ||
        !add_match(connection.get(),
                   "type='signal',interface='org.freedesktop.portal.Request',member='Response'",
                   why) ||
        !add_match(connection.get(),
                   "type='signal',interface='org.freedesktop.portal.GlobalShortcuts',"
                   "member='Activated'",
                   why))
        return nullptr;
    auto backend = std::make_unique<PortalHotkeys>(std::move(connection), std::move(pressed));
    if (!backend->start()) {
        why = "cannot start the thread that reads the session bus";
        return nullptr;
    }
    return backend;
}
