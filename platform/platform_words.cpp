// Why a seam call failed, in the plain words the about box and brindlecap-cli show.
#include "platform/platform.h"

const char* PlatformErrorWords(PlatformError error) {
  switch (error) {
    case kPlatformDiskFull: return "the disk is full";
    case kPlatformDenied: return "access is denied";
    case kPlatformMissing: return "the folder is missing";
    case kPlatformInUse: return "another program holds the file";
    case kPlatformIsFolder: return "a folder stands under that name";
    case kPlatformExists: return "a file of that name appeared meanwhile";
    case kPlatformNotAFile: return "a pipe, socket or device stands under that name";
    case kPlatformOk:
    case kPlatformOther:
      break;
  }
  return nullptr;
}
