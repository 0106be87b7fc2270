#include "app/window_type.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <xcb/xcb.h>

namespace tablora {

namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

xcb_atom_t Atom(xcb_connection_t* connection, std::string_view name) {
  const ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr));
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The property of `window` as bytes, empty when it is missing.
std::string_view Property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                          ReplyPtr<xcb_get_property_reply_t>& holder) {
  holder.reset(xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, property, type, 0, 64),
                                      nullptr));
  if (!holder || holder->format == 0) return {};
  return {static_cast<const char*>(xcb_get_property_value(holder.get())),
          static_cast<std::size_t>(xcb_get_property_value_length(holder.get()))};
}

// Whether the window manager announcing itself under EWMH is Openbox.
bool RunsUnderOpenbox(xcb_connection_t* connection, xcb_window_t root) {
  const xcb_atom_t check = Atom(connection, "_NET_SUPPORTING_WM_CHECK");
  ReplyPtr<xcb_get_property_reply_t> holder;
  const std::string_view supporting = Property(connection, root, check, XCB_ATOM_WINDOW, holder);
  if (supporting.size() != sizeof(xcb_window_t)) return false;
  xcb_window_t manager = 0;
  std::memcpy(&manager, supporting.data(), sizeof manager);
  const std::string_view name =
      Property(connection, manager, Atom(connection, "_NET_WM_NAME"), Atom(connection, "UTF8_STRING"), holder);
  return name == "Openbox";
}

}  // namespace

bool KeepMinimiseAndMaximiseOff(QWidget& window) {
  // Only the xcb platform's windows are X11 windows: the offscreen platform offers the X11
  // interface too, without a connection.
  if (QGuiApplication::platformName() != "xcb" || !window.isWindow() || !window.testAttribute(Qt::WA_WState_Created)) {
    return false;
  }
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr) return false;
  const xcb_setup_t* setup = xcb_get_setup(connection);
  const xcb_screen_iterator_t screen = xcb_setup_roots_iterator(setup);
  if (screen.rem == 0 || !RunsUnderOpenbox(connection, screen.data->root)) return false;
  const xcb_atom_t types[] = {Atom(connection, "_NET_WM_WINDOW_TYPE_TOOLBAR"),
                              Atom(connection, "_NET_WM_WINDOW_TYPE_DIALOG")};
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()),
                      Atom(connection, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 2, types);
  xcb_flush(connection);
  return true;
}

}  // namespace tablora
