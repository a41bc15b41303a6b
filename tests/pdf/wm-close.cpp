// Asks a window to close as a window manager does (WM_DELETE_WINDOW): wm-close WINDOW-ID
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

static xcb_atom_t atom(xcb_connection_t *c, const char *name) {
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return a;
}

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 1;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(strtoul(argv[1], nullptr, 0));
    event.type = atom(c, "WM_PROTOCOLS");
    event.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    // Waits for the server's answer: a client that hangs up at once may have its last requests dropped unread.
    xcb_generic_error_t *error = xcb_request_check(
        c, xcb_send_event_checked(c, 0, event.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event)));
    const int status = error ? 1 : 0;
    free(error);
    xcb_disconnect(c);
    return status;
}
