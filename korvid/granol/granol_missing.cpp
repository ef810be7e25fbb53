// Placeholder until the Granol method is built: it refuses loudly.
#include "granol/granol.h"
#include "front/console.h"
#include "front/messages.h"

bool GranolPack() {
  ConsolePrint(kMsgMethodMissing, L"Granol");
  return false;
}

bool GranolUnpack() {
  ConsolePrint(kMsgMethodMissing, L"Granol");
  return false;
}
