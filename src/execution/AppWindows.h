#pragma once

class TFPrPch;
class TPSW;
class TProt;
class TDataModule1;
class TCustomComm1;
class TRS2;
class TfmMemo;
class TfmFirst;

// The windows created at start, in their order; they live until the program ends.
struct AppWindows_T {
    TFPrPch* FPrPch = nullptr;
    TPSW* PSW = nullptr;
    TProt* Prot = nullptr;
    TDataModule1* DataModule1 = nullptr;
    TCustomComm1* CustomComm1 = nullptr;
    TRS2* RS2 = nullptr;
    TfmMemo* fmMemo = nullptr;
    TfmFirst* fmFirst = nullptr;
};
