#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class IniFile;
}

// The test tag's record and the script catalogue, without the dialog: reading and writing
// birka.ini, building the catalogue from the script folder, and the texts the dialog shows.

struct user_data_T {
    std::string Operator;
    std::string SerialNumber;
    std::string LastSerialNumber;
    std::string Desc;      // remarks of this run, line breaks as "<br>"
    std::string LastDesc;  // remarks of the previous run, with "<br>"
    std::string Date;      // the tag's day as its short date text ("dd.mm.yyyy")
    std::string Cause;
    bool FiltredScripts = false;
};

struct script_cfg_T {
    std::string version = "----";
    float versionNumber = 0;
    std::string device = "----";
    std::string desc = "----";
    std::string file;  // "./scn/" + file name
    float K_U_IN = 1e-7f, K_I_OUT = 1e-7f, K_U_OUT = 1e-7f;
    float TK_U_IN = 1.0f, TK_I_OUT = 1.0f, TK_U_OUT = 1.0f;
    uint16_t vCP = 0, vKK = 0, vRG = 0, vIzm = 0, vPzu = 0;
    std::string arc_dir = "./prot/undef/";
};

// What birka.ini holds besides the record.
struct Birka_T {
    user_data_T data;  // SerialNumber empty, LastSerialNumber and LastDesc from the file
    int savedScriptIndex = -1;
    std::vector<std::string> operators;
    std::vector<std::string> causes;
};

Birka_T LoadBirka(const std::string& path);
// Writes the record's keys (SerialNumber and Desc only when not empty) and rewrites the two lists.
bool SaveBirka(const std::string& path, const user_data_T& data, int scriptIndex,
               const std::vector<std::string>& operators, const std::vector<std::string>& causes);

// The number in a script's version text: its last four characters when the second of them is
// ".", read as a decimal number; otherwise 0.
float ScriptVersionNumber(const std::string& version);
// A decimal key of a script's catalogue sections ("." and an optional exponent); `def` when the
// key is missing or not such a number.
float ReadCatalogueFloat(const platform::IniFile& ini, const char* section, const char* key, float def);
float ParseCatalogueFloat(std::string text, float def);

// Every "*.ini" of the script folder ("./scn/") in listing order with the calibration
// coefficients of tk.ini; with `newestOnly`, one entry per device: the highest version number,
// the earlier entry on a tie, in the order each device first appears.
std::vector<script_cfg_T> BuildCatalogue(const std::string& scnFolder, const std::string& tkPath, bool newestOnly);

// The catalogue line: device + " - версия теста " + the version number ("1.05").
std::string CatalogueItemText(const script_cfg_T& entry);

// A number as the program prints fixed-point values: rounded to `significant` digits, then
// shown with `decimals` decimals and "." (1 with 4 and 4 gives "1.0000").
std::string FormatFixed(double value, int significant, int decimals);

// Whether the serial field takes this character: Latin letters, digits, the Cyrillic letters
// "А".."я" of code page 1251, ".", "_", "-", blank, backspace and tab.
bool SerialKeyAccepted(char32_t c);

// Remarks between the memo (lines with "\r\n" or "\n") and the file ("<br>").
std::string RemarksToFile(const std::string& memoText);
std::string RemarksFromFile(const std::string& stored);
