// HtmlHelpDlg: the readme dialog "Html Help". A WebBrowser control (1006)
// fills the window and opens the page set with set_url when the dialog
// initialises. No visible buttons: Escape and the close box close it.
#ifndef UPDATE_HTMLHELPDLG_H
#define UPDATE_HTMLHELPDLG_H

#include <stdint.h>

#include "WebBrowser2.h"
#include "framework.h"

#define HTMLHELPDLG_URL_SIZE 1024

// Shown, owned by the dialog, when no browser control could be created.
#define HTMLHELPDLG_NO_BROWSER_TEXT \
  "The readme cannot be shown: the web browser control is not available."

class HtmlHelpDlg : public fw::Dialog {
 public:
  // The dialog from template 138 over parent; no address yet (url_set 0).
  explicit HtmlHelpDlg(HWND parent = NULL);

  // Copies text (at most HTMLHELPDLG_URL_SIZE - 1 characters) into url and
  // sets url_set. A null or longer text is refused: false, nothing changed.
  bool set_url(const char *text);

  CWebBrowser2 browser;            // bound to control 1006 by data exchange
  char url[HTMLHELPDLG_URL_SIZE];  // the address to open
  uint8_t url_set;                 // 1 once url was set

 protected:
  void do_data_exchange(fw::DataExchange &dx) override;
  BOOL on_init_dialog() override;
};

#endif
