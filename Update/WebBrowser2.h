// WebBrowser2: CWebBrowser2, the wrapper of the system's WebBrowser ActiveX
// control inside a dialog. The control window is a host of class
// ACTIVEX_HOST_CLASS whose text is the control's class id; data exchange
// binds it. The wrapper reaches the control's dispatch interface for each
// call and keeps no reference to it between calls.
#ifndef UPDATE_WEBBROWSER2_H
#define UPDATE_WEBBROWSER2_H

#include <oaidl.h>

#include "framework.h"

// Class id of the WebBrowser control: the window text of its host.
#define WEBBROWSER2_CLASS_ID "{8856F961-340A-11D0-A96B-00C04FD705A2}"

// Dispatch ids of the control's automation members used here.
#define WEBBROWSER2_DISPID_NAVIGATE 104
#define WEBBROWSER2_DISPID_LOCATION_URL 211

class CWebBrowser2 : public fw::Control {
 public:
  CWebBrowser2() : last_navigate_(E_PENDING) {}

  // Creates the control as child `id` of parent at rect (client pixels),
  // visible and a tab stop, and binds the wrapper to it. False when the host
  // window could not be created (hosting off); a host window created without
  // a control inside stays bound, and has_control() tells.
  bool create(HWND parent, const RECT &rect, int id);

  // True when the bound window hosts a control that answers IDispatch.
  bool has_control() const;

  // Calls the control's Navigate (dispatch id 104) with url (ANSI text,
  // passed as a BSTR) and the four optional arguments (flags, target frame
  // name, post data, headers); a null argument is passed as missing.
  // Returns the call's result (also kept for last_navigate()): E_FAIL or
  // E_NOINTERFACE without a control, E_INVALIDARG for a null url.
  HRESULT Navigate(const char *url, VARIANT *flags, VARIANT *target_frame, VARIANT *post_data,
                   VARIANT *headers);

  // The result of the last Navigate call; E_PENDING before the first.
  HRESULT last_navigate() const { return last_navigate_; }

  // Copies the control's LocationURL property (ANSI) into buffer of size
  // bytes. False, with buffer empty, when there is no control, the property
  // cannot be read or does not fit.
  bool get_location_url(char *buffer, int size) const;

 private:
  // The bound control's IDispatch (released by the caller), or null.
  IDispatch *dispatch() const;

  HRESULT last_navigate_;
};

#endif
