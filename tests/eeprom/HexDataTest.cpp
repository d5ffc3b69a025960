#include "eeprom/HexData.h"

#include <gtest/gtest.h>

TEST(HexData, ANewGridReadsFfEverywhereAndKeepsToItsCount) {
    THexData g;
    EXPECT_EQ(g.DataCount(), 255);
    EXPECT_EQ(g.CellText(1, 1), "ff");
    EXPECT_EQ(g.GetAData(254), 0xFF);
    g.SetDefaultData(0x1234);
    EXPECT_EQ(g.GetAData(g.DataCount()), 0x34);  // beyond the count: the default's low byte
    g.SetAData(g.DataCount(), 7);                 // changes nothing
    EXPECT_EQ(g.GetAData(g.DataCount()), 0x34);
    g.SetAData(3, 7);
    EXPECT_EQ(g.GetAData(3), 7);
    g.SetDataCount(300);  // new bytes take the default
    EXPECT_EQ(g.GetAData(299), 0x34);
    EXPECT_EQ(g.GetAData(3), 7);
    g.SetDataCount(0);  // emptied, and one byte remains
    EXPECT_EQ(g.DataCount(), 1);
    EXPECT_EQ(g.GetAData(0), 0x34);
}

TEST(HexData, HeadersAndRows) {
    THexData g;
    g.SetGridColCount(16);
    g.SetDataCount(32767);
    EXPECT_EQ(g.CellText(0, 1), "000000");
    EXPECT_EQ(g.CellText(0, 2), "000010");
    EXPECT_EQ(g.CellText(0, 3), "000020");
    EXPECT_EQ(g.CellText(1, 0), "00");
    EXPECT_EQ(g.CellText(16, 0), "0f");
    EXPECT_EQ(g.RowCount(), 2048 + 1);
    g.DataSize = TDataSize::dsWord;
    EXPECT_EQ(g.RowCount(), 1024 + 1);  // 16384 words
    EXPECT_EQ(g.GetDataIndex(3, 2), 2 * (16 + 2));
    g.SetGridColCount(0);
    EXPECT_EQ(g.ColumnCount(), 2);
    g.BegAddr = 0x100;
    g.SetGridColCount(16);
    EXPECT_EQ(g.CellText(0, 2), "000110");
}

TEST(HexData, CellTextsAndEditsInEveryViewMode) {
    THexData g;
    g.DataSize = TDataSize::dsWord;
    g.StoreEditText(1, 1, "1A2B");
    EXPECT_EQ(g.GetAData(0), 0x1A);
    EXPECT_EQ(g.GetAData(1), 0x2B);
    EXPECT_EQ(g.CellText(1, 1), "1a2b");
    g.ViewMode = TViewMode::vmASCII;
    g.StoreEditText(2, 1, "AB");
    EXPECT_EQ(g.GetAData(2), 'A');
    EXPECT_EQ(g.GetAData(3), 'B');
    EXPECT_EQ(g.CellText(2, 1), "BA");
    g.StoreEditText(2, 1, "C");
    EXPECT_EQ(g.GetAData(3), ' ');
    g.ViewMode = TViewMode::vmDEC;
    EXPECT_EQ(g.CellText(1, 1), "06699");
    g.ViewMode = TViewMode::vmBIN;
    EXPECT_EQ(g.CellText(1, 1), "0001101000101011");

    THexData b;
    b.ViewMode = TViewMode::vmBIN;
    b.StoreEditText(1, 1, "1x01");  // other characters are ignored
    EXPECT_EQ(b.GetAData(0), 5);
    EXPECT_EQ(b.CellText(1, 1), "00000101");
    b.ViewMode = TViewMode::vmDEC;
    b.StoreEditText(1, 1, "300");  // the low byte
    EXPECT_EQ(b.CellText(1, 1), "044");
    b.StoreEditText(1, 1, "");  // ignored
    EXPECT_EQ(b.GetAData(0), 44);
    EXPECT_THROW(b.StoreEditText(1, 1, "12a"), EConvertError);
    b.ViewMode = TViewMode::vmHEX;
    EXPECT_THROW(b.StoreEditText(1, 1, "xyz"), EConvertError);
    EXPECT_EQ(b.GetAData(0), 44);
    EXPECT_EQ(FormatDataStr(7, TViewMode::vmHEX, TDataSize::dsByte), "07");
}

TEST(HexData, ArrayRoutinesAndTheirThreeErrors) {
    PDataBuf a;
    UpdateDataArray(a, 4, 9);
    ASSERT_EQ(a->Count, 4);
    ModifyDataArray(a, 2, 3, 1);
    EXPECT_EQ(a->Data, (std::vector<uint8_t>{9, 9, 1, 1, 1, 1, 1}));
    ModifyDataArray(a, 0, 0, 5);  // nothing
    EXPECT_EQ(a->Count, 7);
    ModifyDataArray(a, 1, -6, 0);
    EXPECT_EQ(a->Data, (std::vector<uint8_t>{9}));
    try {
        ModifyDataArray(a, 5, 1, 0);
        FAIL();
    } catch (const EInvalidGridOperation& e) {
        EXPECT_STREQ(e.what(), "Index Out Of Range");
    }
    try {
        ModifyDataArray(a, 0, -2, 0);
        FAIL();
    } catch (const EInvalidGridOperation& e) {
        EXPECT_STREQ(e.what(), "Too Many Deleted");
    }
    try {
        UpdateDataArray(a, 0x7FFFFFE, 0);
        FAIL();
    } catch (const EInvalidGridOperation& e) {
        EXPECT_STREQ(e.what(), "Grid Too Large");
    }
    PDataBuf e;
    UpdateDataArrayColor(e, 3);
    EXPECT_EQ(e->Data, (std::vector<uint8_t>{0, 0, 0}));
}

TEST(HexData, ErrorFlagsFollowTheirOwnArray) {
    THexDataColor g;
    EXPECT_EQ(g.GetErrorCell(5), 0);
    g.SetErrorCell(5, 1);
    EXPECT_EQ(g.GetErrorCell(5), 1);
    g.SetErrorCell(g.DataCount(), 1);
    EXPECT_EQ(g.GetErrorCell(g.DataCount()), 0);
    auto data = std::make_unique<TDataBuf>();
    data->Count = 2;
    data->Data = {1, 2};
    auto errors = std::make_unique<TDataBuf>();
    errors->Count = 2;
    errors->Data = {0, 1};
    g.AssignDataBuf(std::move(data), std::move(errors));
    EXPECT_EQ(g.DataCount(), 2);
    EXPECT_EQ(g.GetAData(1), 2);
    EXPECT_EQ(g.GetErrorCell(1), 1);
    EXPECT_EQ(g.GetErrorCell(5), 0);
}
