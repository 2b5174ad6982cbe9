// WebBrowser2: the WebBrowser control wrapper; automation calls go through
// the control's IDispatch by dispatch id.
#include "WebBrowser2.h"

#include <oleauto.h>

#define NAVIGATE_ARGUMENTS 5

bool CWebBrowser2::create(HWND parent, const RECT &rect, int id) {
  HWND host = CreateWindowExA(0, ACTIVEX_HOST_CLASS, WEBBROWSER2_CLASS_ID,
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, parent,
                              (HMENU)(INT_PTR)id, GetModuleHandleA(NULL), NULL);
  if (host == NULL) return false;
  attach(host);
  return true;
}

IDispatch *CWebBrowser2::dispatch() const {
  IUnknown *control = NULL;
  if (FAILED(fw::hosted_control(hwnd(), &control))) return NULL;
  IDispatch *result = NULL;
  if (FAILED(control->QueryInterface(IID_IDispatch, (void **)&result))) result = NULL;
  control->Release();
  return result;
}

bool CWebBrowser2::has_control() const {
  IDispatch *control = dispatch();
  if (control == NULL) return false;
  control->Release();
  return true;
}

// A BSTR copy of ANSI text (freed with SysFreeString), or null.
static BSTR to_bstr(const char *text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
  if (length <= 0) return NULL;
  BSTR result = SysAllocStringLen(NULL, (UINT)(length - 1));
  if (result != NULL) MultiByteToWideChar(CP_ACP, 0, text, -1, result, length);
  return result;
}

// An optional VARIANT* argument: a reference to the caller's variant, or
// the standard "missing" marker.
static void set_optional(VARIANTARG *slot, VARIANT *value) {
  VariantInit(slot);
  if (value != NULL) {
    slot->vt = VT_VARIANT | VT_BYREF;
    slot->pvarVal = value;
  } else {
    slot->vt = VT_ERROR;
    slot->scode = DISP_E_PARAMNOTFOUND;
  }
}

HRESULT CWebBrowser2::Navigate(const char *url, VARIANT *flags, VARIANT *target_frame,
                               VARIANT *post_data, VARIANT *headers) {
  if (url == NULL) return last_navigate_ = E_INVALIDARG;
  IDispatch *control = dispatch();
  if (control == NULL) return last_navigate_ = E_NOINTERFACE;
  BSTR address = to_bstr(url);
  if (address == NULL) {
    control->Release();
    return last_navigate_ = E_OUTOFMEMORY;
  }
  // Arguments go last to first.
  VARIANTARG arguments[NAVIGATE_ARGUMENTS];
  set_optional(&arguments[0], headers);
  set_optional(&arguments[1], post_data);
  set_optional(&arguments[2], target_frame);
  set_optional(&arguments[3], flags);
  VariantInit(&arguments[4]);
  arguments[4].vt = VT_BSTR;
  arguments[4].bstrVal = address;
  DISPPARAMS parameters = {arguments, NULL, NAVIGATE_ARGUMENTS, 0};
  last_navigate_ = control->Invoke(WEBBROWSER2_DISPID_NAVIGATE, IID_NULL, LOCALE_USER_DEFAULT,
                                   DISPATCH_METHOD, &parameters, NULL, NULL, NULL);
  SysFreeString(address);
  control->Release();
  return last_navigate_;
}

// Copies wide text into an ANSI buffer; false when it does not fit.
static bool copy_ansi(const WCHAR *text, char *buffer, int size) {
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, size, NULL, NULL) > 0) return true;
  buffer[0] = '\0';
  return false;
}

bool CWebBrowser2::get_location_url(char *buffer, int size) const {
  if (buffer == NULL || size <= 0) return false;
  buffer[0] = '\0';
  IDispatch *control = dispatch();
  if (control == NULL) return false;
  VARIANT result;
  VariantInit(&result);
  DISPPARAMS none = {NULL, NULL, 0, 0};
  HRESULT hr = control->Invoke(WEBBROWSER2_DISPID_LOCATION_URL, IID_NULL, LOCALE_USER_DEFAULT,
                               DISPATCH_PROPERTYGET, &none, &result, NULL, NULL);
  control->Release();
  bool ok = SUCCEEDED(hr) && result.vt == VT_BSTR &&
            copy_ansi(result.bstrVal != NULL ? result.bstrVal : L"", buffer, size);
  VariantClear(&result);
  return ok;
}
