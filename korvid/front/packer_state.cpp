#include "front/packer_state.h"

#include "dorvik/dorvik_context.h"
#include "front/console.h"

PackerState packerState;

void ResetPackerState() {
  packerState.selectedTool = Tool::None;
  packerState.unpackMode = false;
  packerState.rawOutput = false;
  packerState.workEnd = -1;
  packerState.loadAddress = kDefaultLoadAddress;
  packerState.dataLength = 0;
  packerState.fileBuffer.fill(0);
  packerState.granolImage.fill(0);
  packerState.inputName.clear();
  packerState.outputName.clear();
  ClearDorvikContext();
  DropConsoleNotes();
}
