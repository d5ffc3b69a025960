#include "records/TestTag.h"

#include <gtest/gtest.h>

#include "platform/Cp1251.h"
#include "records/ProtocolHeader.h"
#include "records/ProtocolWriter.h"
#include "support/TempDir.h"
#include "execution/ServiceCommands.h"

namespace {

std::string Cp(const std::string& utf8) { return platform::Utf8ToCp1251(utf8); }

void Script(const TempDir& dir, const std::string& name, const std::string& device, const std::string& version,
            const std::string& extra = "") {
    dir.Write("scn/" + name, Cp("[info]\r\nversion=" + version + "\r\ndevice=" + device + "\r\ndesc=Описание " + name +
                                "\r\n" + extra));
}

}  // namespace

TEST(ScriptCatalogue, TheFilterKeepsTheNewestVersionOfEachDeviceAndTheFirstOnATie) {
    TempDir dir;
    Script(dir, "a.ini", "Станция", "v1.05");
    Script(dir, "b.ini", "Блок", "v2.00");
    Script(dir, "c.ini", "Станция", "v1.10");
    Script(dir, "d.ini", "Блок", "x2.00");  // the same number as b: the earlier one stays
    Script(dir, "e.ini", "станция", "9.99");  // another device: names compare with case
    const auto all = BuildCatalogue(dir.File("scn"), dir.File("data/tk.ini"), false);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].file, "./scn/a.ini");
    const auto newest = BuildCatalogue(dir.File("scn"), dir.File("data/tk.ini"), true);
    ASSERT_EQ(newest.size(), 3u);
    EXPECT_EQ(newest[0].file, "./scn/c.ini");  // devices in the order they first appear
    EXPECT_EQ(newest[1].file, "./scn/b.ini");
    EXPECT_EQ(newest[2].file, "./scn/e.ini");
    EXPECT_EQ(CatalogueItemText(newest[0]), "Станция - версия теста 1.10");
    EXPECT_EQ(newest[0].desc, "Описание c.ini");
}

TEST(ScriptCatalogue, VersionNumbersDefaultsAndCoefficients) {
    EXPECT_FLOAT_EQ(ScriptVersionNumber("v1.05"), 1.05f);
    EXPECT_FLOAT_EQ(ScriptVersionNumber("1.05"), 1.05f);
    EXPECT_EQ(ScriptVersionNumber("1.5"), 0);     // shorter than four characters
    EXPECT_EQ(ScriptVersionNumber("v10.5"), 0);   // "0.5" has no "." in second place
    EXPECT_EQ(ScriptVersionNumber("----"), 0);
    TempDir dir;
    dir.Write("scn/bare.ini", "[title1]\r\n");
    Script(dir, "k.ini", "Плата", "1.5",
           "arc_dir=./prot/plata/\r\n[COEFFICIENT_OF_SHAPE]\r\nK_U_IN=0.1\r\nK_I_OUT=0.0000001\r\nK_U_OUT=abc\r\n"
           "[version]\r\nvCP=3\r\nvPzu=7\r\n");
    dir.Write("data/tk.ini", "[TK]\r\nTK_U_IN=1.02\r\nTK_I_OUT=0\r\n");
    const auto c = BuildCatalogue(dir.File("scn"), dir.File("data/tk.ini"), false);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].device, "----");
    EXPECT_EQ(c[0].version, "----");
    EXPECT_EQ(c[0].arc_dir, "./prot/undef/");
    EXPECT_EQ(CatalogueItemText(c[1]), "Плата - версия теста 0.00");
    EXPECT_EQ(c[1].arc_dir, "./prot/plata/");
    EXPECT_FLOAT_EQ(c[1].K_U_IN, 0.1f);
    EXPECT_FLOAT_EQ(c[1].K_I_OUT, 1e-7f);  // not above 1e-6: the default stays
    EXPECT_FLOAT_EQ(c[1].K_U_OUT, 1e-7f);
    EXPECT_FLOAT_EQ(c[1].TK_U_IN, 1.02f);
    EXPECT_FLOAT_EQ(c[1].TK_I_OUT, 1.0f);
    EXPECT_EQ(c[1].vCP, 3);
    EXPECT_EQ(c[1].vPzu, 7);
}

TEST(ScriptCatalogue, FixedPointTexts) {
    EXPECT_EQ(FormatFixed(1, 4, 4), "1.0000");
    EXPECT_EQ(FormatFixed(0.1f, 4, 4), "0.1000");
    EXPECT_EQ(FormatFixed(12.3456, 4, 4), "12.3500");
    EXPECT_EQ(FormatFixed(1.05f, 3, 2), "1.05");
    EXPECT_EQ(FormatFixed(10.25, 3, 2), "10.30");
    EXPECT_EQ(FormatFixed(0.0000123456, 3, 5), "0.00001");
    EXPECT_EQ(FormatFixed(0, 3, 2), "0.00");
    EXPECT_EQ(FormatFixed(9.999, 3, 2), "10.00");
    EXPECT_EQ(FormatFixed(-1.5, 4, 4), "-1.5000");
    EXPECT_EQ(FormatFixed(0.1, 3, 5), "0.10000");
}

TEST(TestTagFile, SavedExactlyAndReadBack) {
    TempDir dir;
    const std::string path = dir.File("data/birka.ini");
    user_data_T d;
    d.Operator = "Иванов";
    d.SerialNumber = "12";
    d.Desc = RemarksToFile("первая\r\nвторая");
    d.Cause = "Первичная";
    d.FiltredScripts = true;
    ASSERT_TRUE(SaveBirka(path, d, 1, {"Иванов", "Петров"}, {"Первичная", ""}));
    EXPECT_EQ(dir.Read("data/birka.ini"),
              Cp("[Birka]\r\nOperator=Иванов\r\nSerialNumber=12\r\nDesc=первая<br>вторая\r\nCause=Первичная\r\n"
                 "id_script=1\r\nFiltredScripts=1\r\n[Operators]\r\n1=Иванов\r\n2=Петров\r\n[Causes]\r\n"
                 "1=Первичная\r\n2=\r\n"));

    // A run without serial and remarks keeps the previous ones; the lists are rewritten.
    d.SerialNumber.clear();
    d.Desc.clear();
    d.FiltredScripts = false;
    ASSERT_TRUE(SaveBirka(path, d, -1, {"Сидоров"}, {}));
    const Birka_T b = LoadBirka(path);
    EXPECT_EQ(b.data.LastSerialNumber, "12");
    EXPECT_TRUE(b.data.SerialNumber.empty());
    EXPECT_EQ(RemarksFromFile(b.data.LastDesc), "первая\nвторая");
    EXPECT_EQ(b.data.Operator, "Иванов");
    EXPECT_FALSE(b.data.FiltredScripts);
    EXPECT_EQ(b.savedScriptIndex, -1);
    EXPECT_EQ(b.operators, std::vector<std::string>{"Сидоров"});
    EXPECT_TRUE(b.causes.empty());

    const Birka_T missing = LoadBirka(dir.File("none.ini"));
    EXPECT_EQ(missing.savedScriptIndex, -1);
    EXPECT_TRUE(missing.operators.empty());
}

TEST(TestTagFile, TheSerialFieldTakesOnlyItsCharacters) {
    for (char32_t c : {U'A', U'z', U'7', U'.', U'_', U'-', U' ', U'\b', U'\t', U'А', U'я', U'Ж'})
        EXPECT_TRUE(SerialKeyAccepted(c)) << static_cast<uint32_t>(c);
    for (char32_t c : {U'Ё', U'ё', U'/', U'*', U'?', U'\\', U'é', U'\n', U':'})
        EXPECT_FALSE(SerialKeyAccepted(c)) << static_cast<uint32_t>(c);
}

TEST(ProtocolHeader, TheNineteenRowsExactly) {
    TempDir dir;
    TProtocolWriter w;
    ASSERT_TRUE(w.Open(dir.File("p.txt")));
    ProtocolHeader_T h;
    h.tag.SerialNumber = "12";
    h.tag.Operator = "Иванов";
    h.tag.Cause = "Первичная";
    h.tag.Date = "07.12.2026";
    h.remarksLines = {"первая", "", "вторая"};
    h.script.device = "Станция ВОЛТАР";
    h.script.version = "v1.05";
    h.script.K_U_IN = 0.1f;
    h.script.TK_U_OUT = 1.25f;
    h.programVersion = "0.1.0.1";
    WriteProtocolHeader(w, h);
    w.Close();
    EXPECT_EQ(dir.Read("p.txt"),
              Cp("СУ Станция ВОЛТАР. Протокол проверки. \r\n" + std::string(74, '-') +
                 "\r\n \r\n"
                 "Заводской номер  12 \r\n"
                 "Оператор :  Иванов \r\n"
                 "Причина предъявления Первичная \r\n"
                 "Дата проверки :  07.12.2026 \r\n"
                 "\r\nЗамечания оператора: \r\n"
                 "первая \r\n"
                 "вторая \r\n"
                 "  \r\n"
                 "Версия ПО стенда : 0.1.0.1 \r\n"
                 "Версия тестов    : v1.05 \r\n"
                 "\r\nКоэффициенты формы сигнала: \r\n"
                 "K Uвх = 0.1000 \r\n"
                 "K Iвых = 0.0000 \r\n"
                 "K Uвых = 0.0000 \r\n"
                 "\r\nТарировочные коэффициенты: \r\n"
                 "ТK Uвх = 1.0000 \r\n"
                 "ТK Iвых = 1.0000 \r\n"
                 "ТK Uвых = 1.2500 \r\n"));
}

TEST(ArchiveNaming, OnlyTheSerialsOwnNumbersCountAndTheHighestDecides) {
    TempDir dir;
    EXPECT_EQ(NextArchiveName(dir.Path(), "12"), "12.000.txt");
    for (const char* f : {"123.007.txt", "12.000.txt", "12.004.txt", "12.abc.txt", "12.002.TXT", "12x.009.txt",
                          "ProtTest.txt"})
        dir.Write(f, "x");
    EXPECT_EQ(NextArchiveName(dir.Path(), "12"), "12.005.txt");
    EXPECT_EQ(NextArchiveName(dir.Path(), "123"), "123.008.txt");
    dir.Write("7.999.txt", "x");
    EXPECT_EQ(NextArchiveName(dir.Path(), "7"), "7.1000.txt");
    EXPECT_EQ(ArchiveSerial("12", "5"), "12");
    EXPECT_EQ(ArchiveSerial("", "5"), "5000");
    EXPECT_EQ(ArchiveSerial("", "123456"), "123456");
    EXPECT_EQ(ArchiveSerial("", ""), "0000-0000");
    script_cfg_T s;
    EXPECT_EQ(WorkingProtocolPath("/w", s), "/w\\./prot/undef/\\ProtTest.txt");
}

TEST(LogicalNumber, CommandBytesAndFieldRanges) {
    LogicalNumberFields_T f{"300", "14", "5", "7", "3", "2016"};
    ServiceCommand_T c = LogicalNumberCommand(f);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.text, "00  09 19 01 2C 07 03 07 E0 0E 05");
    f.board = "0";
    EXPECT_EQ(LogicalNumberCommand(f).text, "00  09 19 00 00 07 03 07 E0 0E 05");
    f.board = "65535";
    EXPECT_EQ(LogicalNumberCommand(f).text, "00  09 19 FF FF 07 03 07 E0 0E 05");
    for (auto bad : {&LogicalNumberFields_T::day, &LogicalNumberFields_T::month, &LogicalNumberFields_T::hours,
                     &LogicalNumberFields_T::minutes, &LogicalNumberFields_T::board, &LogicalNumberFields_T::year}) {
        LogicalNumberFields_T g = f;
        g.*bad = "300000";
        c = LogicalNumberCommand(g);
        EXPECT_FALSE(c.ok);
        EXPECT_TRUE(c.text.empty());
        EXPECT_NE(c.error.find("Команда не отправлена"), std::string::npos);
    }
    LogicalNumberFields_T g = f;
    g.day = "0";
    EXPECT_FALSE(LogicalNumberCommand(g).ok);
    g = f;
    g.month = "";
    EXPECT_NE(LogicalNumberCommand(g).error.find("«Месяц»"), std::string::npos);
    g = f;
    g.hours = "24";
    EXPECT_FALSE(LogicalNumberCommand(g).ok);
    g = f;
    g.minutes = "59";
    EXPECT_TRUE(LogicalNumberCommand(g).ok);
}
