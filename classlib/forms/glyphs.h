// The small pictures on buttons and menu entries and the programs' window icons, named by
// what they stand for. The pictures themselves are the desktop's: its icon theme, or the
// style's own standard pictures where the theme has none.
#pragma once

enum class TGlyph {
  None,
  Open,
  Save,
  SaveAs,
  Delete,
  DeleteAll,
  Transfer,
  Start,
  OK,
  Cancel,
  Exit,
  Help,
  About,
  // Window icons: one a program.
  ChipsetProgram,
  CharacterSheetProgram,
  BatchProgram,
};
