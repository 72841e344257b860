#pragma once
// Everything the logic may ask of the platform, handed to it as one bundle of references.

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/system_messages.h"

namespace orvane {

struct Platform {
  Process& process;
  Files& files;
  Registry& registry;
  Dialogs& dialogs;
  Broadcast& broadcast;
  Processes& processes;
  SystemMessages& messages;
};

}  // namespace orvane
