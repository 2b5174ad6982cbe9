// HtmlHelpDlg: the readme dialog; binds the browser control and navigates
// it to the page when the window initialises.
#include "HtmlHelpDlg.h"

#include <string.h>

#include "resource.h"

HtmlHelpDlg::HtmlHelpDlg(HWND parent) : fw::Dialog(IDD_HTMLHELP, parent), url_set(0) {
  url[0] = '\0';
}

bool HtmlHelpDlg::set_url(const char *text) {
  if (text == NULL || strlen(text) >= sizeof(url)) return false;
  memcpy(url, text, strlen(text) + 1);
  url_set = 1;
  return true;
}

void HtmlHelpDlg::do_data_exchange(fw::DataExchange &dx) {
  dx.bind(IDC_BROWSER, browser);
}

// The template's controls exist and the browser is bound; opens the page.
// Without a control inside (hosting unavailable) the user is told, and the
// empty dialog still closes as usual.
BOOL HtmlHelpDlg::on_init_dialog() {
  fw::Dialog::on_init_dialog();
  if (!browser.has_control()) {
    message_box(HTMLHELPDLG_NO_BROWSER_TEXT);
    return TRUE;
  }
  if (url_set == 1) browser.Navigate(url, NULL, NULL, NULL, NULL);
  return TRUE;
}
