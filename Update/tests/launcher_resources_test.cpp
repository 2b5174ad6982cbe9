// The resources built into Update.exe: both dialog templates as the window
// code expects them, the icon sizes, the manifest and the version record.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string launcher_path() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, sizeof(path));
  std::string dir(path);
  return dir.substr(0, dir.find_last_of('\\')) + "\\Update.exe";
}

// The bytes of one resource of Update.exe ("" when missing).
std::string resource(LPCSTR type, int id) {
  HMODULE module = LoadLibraryExA(launcher_path().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (module == NULL) return "";
  std::string bytes;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (found != NULL) {
    const char *data = (const char *)LockResource(LoadResource(module, found));
    if (data != NULL) bytes.assign(data, SizeofResource(module, found));
  }
  FreeLibrary(module);
  return bytes;
}

// Reads a dialog template field by field; a read past the end gives zeros
// and sets overrun.
class TemplateReader {
 public:
  explicit TemplateReader(const std::string &bytes) : bytes_(bytes) {}
  uint32_t number(size_t size) {
    uint32_t value = 0;
    if (pos_ + size > bytes_.size()) {
      overrun = true;
      pos_ = bytes_.size();
      return 0;
    }
    for (size_t i = 0; i < size; i++) value |= (uint32_t)(unsigned char)bytes_[pos_ + i] << (8 * i);
    pos_ += size;
    return value;
  }
  uint16_t word() { return (uint16_t)number(2); }
  uint32_t dword() { return number(4); }
  int16_t coordinate() { return (int16_t)number(2); }
  // A zero-terminated UTF-16 text (ASCII here).
  std::string text() {
    std::string s;
    for (uint16_t c = word(); c != 0 && !overrun; c = word()) s += (char)c;
    return s;
  }
  // A text, or "#n" for an ordinal (0xFFFF followed by n).
  std::string text_or_ordinal() {
    if (pos_ + 2 <= bytes_.size() && (unsigned char)bytes_[pos_] == 0xFF &&
        (unsigned char)bytes_[pos_ + 1] == 0xFF) {
      word();
      return "#" + std::to_string(word());
    }
    return text();
  }
  void align() { pos_ = (pos_ + 3) & ~(size_t)3; }
  bool overrun = false;

 private:
  const std::string &bytes_;
  size_t pos_ = 0;
};

struct Item {
  uint32_t id, style, ex_style;
  int x, y, width, height;
  std::string window_class, title;
};

struct Template {
  uint32_t style, ex_style;
  int x, y, width, height;
  std::string title, font;
  int point_size;
  std::vector<Item> items;
};

// Parses an extended (DLGTEMPLATEEX) or plain (DLGTEMPLATE) template.
Template parse(const std::string &bytes, bool extended) {
  TemplateReader r(bytes);
  Template t = {};
  if (extended) {
    EXPECT_EQ(1, r.word());
    EXPECT_EQ(0xFFFF, r.word());
    r.dword();  // help id
    t.ex_style = r.dword();
    t.style = r.dword();
  } else {
    t.style = r.dword();
    t.ex_style = r.dword();
  }
  int count = r.word();
  t.x = r.coordinate(), t.y = r.coordinate(), t.width = r.coordinate(), t.height = r.coordinate();
  r.text_or_ordinal();  // menu
  r.text_or_ordinal();  // class
  t.title = r.text();
  if (t.style & DS_SETFONT) {
    t.point_size = r.word();
    if (extended) r.dword();  // weight, italic, character set
    t.font = r.text();
  }
  for (int i = 0; i < count && !r.overrun; i++) {
    r.align();
    Item item = {};
    if (extended) {
      r.dword();  // help id
      item.ex_style = r.dword();
      item.style = r.dword();
    } else {
      item.style = r.dword();
      item.ex_style = r.dword();
    }
    item.x = r.coordinate(), item.y = r.coordinate();
    item.width = r.coordinate(), item.height = r.coordinate();
    item.id = extended ? r.dword() : r.word();
    item.window_class = r.text_or_ordinal();
    item.title = r.text_or_ordinal();
    uint16_t extra = r.word();
    for (uint16_t k = 0; k < extra; k++) r.number(1);
    t.items.push_back(item);
  }
  EXPECT_FALSE(r.overrun) << "template shorter than its own counts";
  return t;
}

const char *kButton = "#128", *kStatic = "#130";

TEST(LauncherResources, WindowTemplate102) {
  std::string bytes = resource(RT_DIALOG, 102);
  ASSERT_FALSE(bytes.empty());
  Template t = parse(bytes, true);
  EXPECT_EQ((uint32_t)(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION |
                       WS_SYSMENU | WS_MINIMIZEBOX),
            t.style);
  EXPECT_EQ((uint32_t)WS_EX_APPWINDOW, t.ex_style);
  EXPECT_EQ(0, t.x);
  EXPECT_EQ(0, t.y);
  EXPECT_EQ(90, t.width);
  EXPECT_EQ(128, t.height);
  EXPECT_EQ("Patch", t.title);
  EXPECT_EQ("Verdana", t.font);
  EXPECT_EQ(8, t.point_size);

  struct Want {
    uint32_t id;
    const char *window_class;
    uint32_t kind;  // BS_ or SS_ type bits
    bool visible, tab_stop, border;
  };
  const Want wants[] = {
      {1005, kStatic, SS_LEFT, false, false, true},
      {1001, kButton, BS_PUSHBUTTON, true, true, false},
      {4, kButton, BS_DEFPUSHBUTTON, true, true, false},
      {3, kButton, BS_DEFPUSHBUTTON, true, true, false},
      {2, kButton, BS_DEFPUSHBUTTON, true, true, false},
  };
  ASSERT_EQ(5u, t.items.size());
  for (size_t i = 0; i < t.items.size(); i++) {
    const Item &got = t.items[i];
    SCOPED_TRACE("control " + std::to_string(wants[i].id));
    EXPECT_EQ(wants[i].id, got.id);
    EXPECT_EQ(wants[i].window_class, got.window_class);
    EXPECT_EQ(wants[i].kind, got.style & 0x0F);
    EXPECT_EQ(wants[i].visible, (got.style & WS_VISIBLE) != 0);
    EXPECT_EQ(wants[i].tab_stop, (got.style & WS_TABSTOP) != 0);
    EXPECT_EQ(wants[i].border, (got.style & WS_BORDER) != 0);
    EXPECT_EQ("", got.title);
  }
}

TEST(LauncherResources, ReadmeTemplate138) {
  std::string bytes = resource(RT_DIALOG, 138);
  ASSERT_FALSE(bytes.empty());
  Template t = parse(bytes, false);
  EXPECT_EQ(
      (uint32_t)(DS_SETFONT | DS_MODALFRAME | DS_NOFAILCREATE | WS_POPUP | WS_CAPTION | WS_SYSMENU),
      t.style);
  EXPECT_EQ(365, t.width);
  EXPECT_EQ(233, t.height);
  EXPECT_EQ("Html Help", t.title);
  EXPECT_EQ("MS Sans Serif", t.font);
  EXPECT_EQ(8, t.point_size);
  ASSERT_EQ(3u, t.items.size());
  const struct {
    uint32_t id;
    const char *window_class, *title;
    int x, y, width, height;
    bool visible;
  } wants[] = {
      {IDOK, kButton, "OK", 308, 7, 50, 14, false},
      {IDCANCEL, kButton, "Cancel", 308, 24, 50, 14, false},
      {1006, "AtlAxWin", "{8856F961-340A-11D0-A96B-00C04FD705A2}", 7, 7, 351, 219, true},
  };
  for (size_t i = 0; i < 3; i++) {
    const Item &got = t.items[i];
    SCOPED_TRACE("control " + std::to_string(wants[i].id));
    EXPECT_EQ(wants[i].id, got.id);
    // Class names compare without regard to case (the resource compiler
    // stores a named class in capitals).
    EXPECT_STRCASEEQ(wants[i].window_class, got.window_class.c_str());
    EXPECT_EQ(wants[i].title, got.title);
    EXPECT_EQ(wants[i].x, got.x);
    EXPECT_EQ(wants[i].y, got.y);
    EXPECT_EQ(wants[i].width, got.width);
    EXPECT_EQ(wants[i].height, got.height);
    EXPECT_EQ(wants[i].visible, (got.style & WS_VISIBLE) != 0);
  }
  EXPECT_TRUE(t.items[2].style & WS_TABSTOP);
  EXPECT_EQ((uint32_t)BS_DEFPUSHBUTTON, t.items[0].style & 0x0F);
}

TEST(LauncherResources, Icon128ComesInSeveralSizes) {
  std::string group = resource(RT_GROUP_ICON, 128);
  ASSERT_GE(group.size(), 6u);
  TemplateReader r(group);
  r.word();
  EXPECT_EQ(1, r.word());  // icons, not cursors
  int count = r.word();
  std::vector<int> sizes;
  for (int i = 0; i < count && !r.overrun; i++) {
    int width = (int)r.number(1);
    r.number(1 + 1 + 1 + 2);  // height, colours, reserved, planes
    EXPECT_EQ(32, r.word()) << "bits per pixel";
    r.dword();
    r.word();
    sizes.push_back(width);
  }
  EXPECT_EQ((std::vector<int>{16, 24, 32, 48}), sizes);
}

TEST(LauncherResources, ManifestRunsAsInvokerWithThemedControls) {
  std::string manifest = resource(MAKEINTRESOURCEA(24), 1);  // RT_MANIFEST
  ASSERT_FALSE(manifest.empty());
  const char *needed[] = {
      "level=\"asInvoker\"", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
      "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
  };
  for (const char *text : needed) EXPECT_NE(std::string::npos, manifest.find(text)) << text;
}

TEST(LauncherResources, VersionRecordNamesTheProgram) {
  std::string path = launcher_path();
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), NULL);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
  const struct {
    const char *name, *value;
  } wants[] = {{"ProductName", "Iron Meadow"},
               {"OriginalFilename", "Update.exe"},
               {"CompanyName", "Vellor"}};
  for (const auto &want : wants) {
    char *value = NULL;
    UINT length = 0;
    std::string key = std::string("\\StringFileInfo\\040904b0\\") + want.name;
    ASSERT_TRUE(VerQueryValueA(info.data(), key.c_str(), (void **)&value, &length)) << want.name;
    EXPECT_STREQ(want.value, value);
  }
}

}  // namespace
