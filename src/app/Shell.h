#pragma once

class TFPrPch;
class TStartWindow;

// Gives the test window the shell's start window and the EEPROM settings it reads, as the
// program's entry does.
void ConnectShell(TFPrPch& main);

// The start window made at the test window's first showing (null before it).
TStartWindow* StartWindowOf(TFPrPch& main);
