// framework: the launcher's small dialog framework over plain Win32. An
// application object with a start-up hook, modal dialogs from resource
// templates with overridable data exchange / initialisation / cancel / window
// procedure, a message table routing paint, query-drag-icon and commands by
// control id, control helpers, message boxes captioned with the application
// name, and paint helpers. Single GUI thread; nothing here is thread-safe.
#ifndef UPDATE_FRAMEWORK_H
#define UPDATE_FRAMEWORK_H

#include <windows.h>
#include <unknwn.h>

// The window class that hosts an ActiveX control in a dialog: a control of
// this class whose window text is a class id creates that control inside.
#define ACTIVEX_HOST_CLASS "AtlAxWin"

namespace fw {

class Dialog;

// The one application object. Construct exactly one static instance; the
// program's entry calls run() on it.
class Application {
 public:
  Application();
  virtual ~Application();
  Application(const Application &) = delete;
  Application &operator=(const Application &) = delete;

  // The start-up hook, called once by run() after the error mode is set.
  // Answers true when a message loop is to run afterwards, false to end.
  virtual bool init_instance() = 0;

  // Adds SEM_FAILCRITICALERRORS and SEM_NOOPENFILEERRORBOX to the error mode,
  // calls the hook, runs a message loop if it asks for one, and returns the
  // process exit code (0, or the WM_QUIT code of the loop).
  int run();

  // Switches on hosting of ActiveX controls in dialogs: initialises OLE on
  // this thread, loads the system's control-hosting library and registers
  // its window class ACTIVEX_HOST_CLASS; all undone when run() returns.
  // Returns false if OLE refused or the library could not be loaded (then
  // controls of that class cannot be created; OLE may still be on).
  bool enable_activex_hosting();
  // Switches on the themed (three-dimensional) look of the common controls.
  void enable_3d_controls();

  // The dialog that is the application's main window, or null.
  void set_main_window(Dialog *dialog);
  Dialog *main_window() const;

  // The one instance, or null when none was constructed (as in tests).
  static Application *current();
};

// The application name: the executable's base name without extension
// ("Update" for Update.exe). Never null.
const char *app_name();

// True once enable_activex_hosting() succeeded, until run() returns.
bool activex_hosting_enabled();

// The control hosted in window host (of class ACTIVEX_HOST_CLASS): stores
// an IUnknown with a reference the caller releases in *control. Fails with
// *control null when hosting is off, host is null or holds no control.
HRESULT hosted_control(HWND host, IUnknown **control);

// Message box owned by owner (may be null) with the caption, or the
// application name when caption is null. type is MB_OK or MB_OKCANCEL (plus
// icon flags). Returns IDOK or IDCANCEL (0 if the box could not be shown).
int message_box(HWND owner, const char *text, const char *caption = NULL, UINT type = MB_OK);

// A window wrapper bound to a dialog control by data exchange.
class Control {
 public:
  Control() : hwnd_(NULL) {}
  virtual ~Control() {}
  // Binds the wrapper to a control window (null unbinds).
  virtual void attach(HWND hwnd) { hwnd_ = hwnd; }
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_;
};

// One data exchange pass: saving (controls to fields) or loading.
class DataExchange {
 public:
  DataExchange(Dialog &dialog, bool saving) : dialog_(dialog), saving_(saving) {}
  // Binds control id of the dialog to wrapper (once; later passes keep it).
  // Returns false when the dialog has no such control.
  bool bind(int id, Control &wrapper);
  bool saving() const { return saving_; }

 private:
  Dialog &dialog_;
  bool saving_;
};

// One row of a dialog's message table; a table ends with FW_END_TABLE.
struct MessageEntry {
  UINT message;                      // WM_PAINT, WM_QUERYDRAGICON or WM_COMMAND
  WORD control_id;                   // for WM_COMMAND; 0 otherwise
  LRESULT (*handler)(Dialog &self);  // answer of the message (0 for commands)
};

// A modal dialog built from a dialog template in the program's resources.
class Dialog {
 public:
  explicit Dialog(int template_id, HWND parent = NULL);
  virtual ~Dialog();
  Dialog(const Dialog &) = delete;
  Dialog &operator=(const Dialog &) = delete;

  // Creates the window and its controls from the template, calls
  // on_init_dialog, runs the modal loop and returns the code given to
  // end_dialog, or -1 when the window could not be created.
  INT_PTR do_modal();
  // Ends the modal loop with code (IDOK, IDCANCEL, ...).
  void end_dialog(int code);
  // The window, or null outside the modal run.
  HWND hwnd() const { return hwnd_; }

  // Control helpers by id; each does nothing when the control is missing.
  HWND item(int id) const;
  void set_item_text(int id, const char *text);
  void show_item(int id, bool show);
  void enable_item(int id, bool enable);
  // Moves and sizes the control (client pixels) and puts it on top of its
  // siblings, which also makes it first in the tab order.
  void place_item(int id, int x, int y, int width, int height);

  // Message box owned by this dialog; see fw::message_box.
  int message_box(const char *text, const char *caption = NULL, UINT type = MB_OK);

 protected:
  // Overridables, in their order of use. The defaults: no data to exchange;
  // initialisation loads the data and answers TRUE (system sets the focus);
  // OK saves the data and ends with IDOK; cancel ends with IDCANCEL.
  virtual void do_data_exchange(DataExchange &dx);
  virtual BOOL on_init_dialog();
  virtual void on_ok();
  virtual void on_cancel();
  // Every message the dialog receives from WM_INITDIALOG on. Answers true
  // when handled, with the message's answer in *result; the default routes
  // initialisation, the message table, IDOK and IDCANCEL.
  virtual bool window_proc(UINT message, WPARAM wparam, LPARAM lparam, LRESULT *result);
  // The dialog's message table, or null.
  virtual const MessageEntry *message_table() const { return NULL; }

  // Runs data exchange; saving true copies controls to fields.
  bool update_data(bool saving);
  // The default window processing (DefWindowProc) for a message.
  LRESULT default_window_proc(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  friend INT_PTR CALLBACK dialog_proc(HWND, UINT, WPARAM, LPARAM);
  bool route_table(UINT message, WPARAM wparam, LRESULT *result);

  int template_id_;
  HWND parent_;
  HWND hwnd_;
};

// BeginPaint / EndPaint around a scope.
class PaintDC {
 public:
  explicit PaintDC(HWND hwnd);
  ~PaintDC();
  PaintDC(const PaintDC &) = delete;
  PaintDC &operator=(const PaintDC &) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT paint_;
  HDC dc_;
};

// A memory device context compatible with another, deleted with the scope.
class MemoryDC {
 public:
  explicit MemoryDC(HDC compatible_with);
  ~MemoryDC();
  MemoryDC(const MemoryDC &) = delete;
  MemoryDC &operator=(const MemoryDC &) = delete;
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
};

// A bitmap owned by the object: loaded from the resources, deleted with it.
class Bitmap {
 public:
  Bitmap() : handle_(NULL) {}
  ~Bitmap();
  Bitmap(const Bitmap &) = delete;
  Bitmap &operator=(const Bitmap &) = delete;
  // Loads bitmap resource id (replacing any held one). False when missing.
  bool load(int id);
  HBITMAP handle() const { return handle_; }

 private:
  HBITMAP handle_;
};

// Message-table adapters: call a member of the derived dialog class.
template <class D, void (D::*F)()>
LRESULT call_void(Dialog &self) {
  (static_cast<D &>(self).*F)();
  return 0;
}
template <class D, HICON (D::*F)()>
LRESULT call_icon(Dialog &self) {
  return (LRESULT)(static_cast<D &>(self).*F)();
}

}  // namespace fw

#define FW_ON_PAINT(cls, fn) \
  { WM_PAINT, 0, &fw::call_void<cls, &cls::fn> }
#define FW_ON_QUERYDRAGICON(cls, fn) \
  { WM_QUERYDRAGICON, 0, &fw::call_icon<cls, &cls::fn> }
#define FW_ON_COMMAND(id, cls, fn) \
  { WM_COMMAND, (id), &fw::call_void<cls, &cls::fn> }
#define FW_END_TABLE \
  { 0, 0, NULL }

#endif
