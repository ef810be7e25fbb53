// Placeholder until the Dorvik method is built: it refuses loudly.
#include "dorvik/dorvik.h"
#include "front/console.h"
#include "front/messages.h"

bool DorvikPack() {
  ConsolePrint(kMsgMethodMissing, L"Dorvik");
  return false;
}

bool DorvikUnpack() {
  ConsolePrint(kMsgMethodMissing, L"Dorvik");
  return false;
}
