// UpdaterApp: the launcher's application object. Its start-up hook brings
// the modules up, runs the launcher window and brings them down again.
#ifndef UPDATE_UPDATERAPP_H
#define UPDATE_UPDATERAPP_H

#include "framework.h"

class UpdaterApp : public fw::Application {
 public:
  // Always answers false: the process ends when the window has closed.
  bool init_instance() override;
};

#endif
