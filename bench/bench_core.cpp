// Figures for the issue notes; never run as tests. Compare ratios within one run only.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "link/Crc.h"
#include "link/JournalText.h"
#include "platform/Cp1251.h"
#include "platform/IniFile.h"
#include "rsmanager/Ini.h"
#include "rsmanager/PackageModbus.h"
#include "execution/Script.h"
#include "execution/ScriptCheck.h"

namespace {

std::vector<uint8_t> RandomBytes(size_t n) {
    std::mt19937 rng(1);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// The longest station packet (an EEPROM block) through the bit-by-bit engine.
void BM_CrcBitwise75(benchmark::State& state) {
    const auto data = RandomBytes(75);
    TCRC crc;
    for (auto _ : state) {
        crc.Cm_Ini();
        crc.Cm_Blk(data.data(), data.size());
        benchmark::DoNotOptimize(crc.Cm_CRC());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 75);
}
BENCHMARK(BM_CrcBitwise75);

// A script-sized INI (40 checks of 20 steps) read the way the step interpreter will: once in
// memory, then many lookups.
std::string ScriptText() {
    std::string s;
    for (int t = 1; t <= 40; ++t) {
        s += "[title" + std::to_string(t) + "]\r\nName=Проверка " + std::to_string(t) + "\r\n";
        for (int k = 1; k <= 20; ++k)
            s += "Par" + std::to_string(k) + "=" + std::to_string(k) + ",1.5,2.5,\"U вход\",0\r\n";
    }
    return platform::Utf8ToCp1251(s);
}

void BM_IniFileLoadScript(benchmark::State& state) {
    const std::string text = ScriptText();
    for (auto _ : state) {
        platform::IniFile ini;
        ini.LoadBytes(text);
        benchmark::DoNotOptimize(ini.HasSection("title40"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_IniFileLoadScript);

void BM_IniFileLookup(benchmark::State& state) {
    platform::IniFile ini;
    ini.LoadBytes(ScriptText());
    int i = 0;
    for (auto _ : state) {
        const std::string section = "title" + std::to_string(1 + i % 40);
        benchmark::DoNotOptimize(ini.ReadString(section, "Par" + std::to_string(1 + i % 20), ""));
        ++i;
    }
}
BENCHMARK(BM_IniFileLookup);

void BM_TIniLoadScript(benchmark::State& state) {
    const std::string text = ScriptText();
    for (auto _ : state) benchmark::DoNotOptimize(TIni::FromBytes(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_TIniLoadScript);

// A protocol page of text through the codec both ways.
void BM_Cp1251RoundTrip(benchmark::State& state) {
    std::string page;
    while (page.size() < 8000)
        page += "Напряжение на входе, В     380.0   370.0   390.0  Норма\r\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::Cp1251ToUtf8(platform::Utf8ToCp1251(page)));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Cp1251RoundTrip);

// A script of 10,000 steps (500 checks of 20 steps), loaded and listed as a run starts.
std::string BigScript() {
    std::string s = "[info]\r\nversion=v1.00\r\ndevice=Большой\r\n";
    int step = 1;
    for (int t = 1; t <= 500; ++t) {
        s += "[title" + std::to_string(t) + "]\r\nTitl=Проверка " + std::to_string(t) +
             "\r\nOneStep=" + std::to_string(step) + "\r\n";
        if (t < 500) s += "NextTitle=title" + std::to_string(t + 1) + "\r\n";
        for (int k = 0; k < 20; ++k, ++step) {
            s += "[step" + std::to_string(step) + "]\r\nText=Шаг " + std::to_string(step) +
                 "\r\nControl=1\r\nParameter1=U,380,420,400,3\r\nParameter2=I,0,5,1,4\r\n"
                 "Send=00 01 88\r\nNext=" +
                 (k == 19 ? std::string("endprov") : "step" + std::to_string(step + 1)) + "\r\n";
        }
    }
    return platform::Utf8ToCp1251(s);
}

void BM_ScriptLoad10000Steps(benchmark::State& state) {
    const std::string text = BigScript();
    for (auto _ : state) {
        TScript script;
        script.LoadBytes(text);
        benchmark::DoNotOptimize(script.BuildCheckList());
    }
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ScriptLoad10000Steps)->Unit(benchmark::kMillisecond);

// The script checker on the same script (side by side with its load) and on one check whose
// 10,000 steps form a single chain, the longest walk back from endprov.
void BM_CheckScript10000Steps(benchmark::State& state) {
    const std::string text = BigScript();
    size_t findings = 0;
    for (auto _ : state) findings = CheckScript(text, "big.ini", {}).size();
    state.counters["findings"] = static_cast<double>(findings);
}
BENCHMARK(BM_CheckScript10000Steps)->Unit(benchmark::kMillisecond);

void BM_CheckScriptOneChainOf10000Steps(benchmark::State& state) {
    std::string s = "[info]\r\nversion=v1.00\r\ndevice=Цепь\r\n[title1]\r\nTitl=Одна\r\nOneStep=1\r\n";
    for (int step = 1; step <= 10000; ++step)
        s += "[step" + std::to_string(step) + "]\r\nControl=1\r\nParameter1=U,380,420,400,3\r\nSend=00 01 88\r\n"
             "Repeat=step" + std::to_string(step) + "\r\nMaxRepeat=3\r\nNext=" +
             (step == 10000 ? std::string("endprov") : "step" + std::to_string(step + 1)) + "\r\n";
    const std::string text = platform::Utf8ToCp1251(s);
    size_t findings = 0;
    for (auto _ : state) findings = CheckScript(text, "chain.ini", {}).size();
    state.counters["findings"] = static_cast<double>(findings);
}
BENCHMARK(BM_CheckScriptOneChainOf10000Steps)->Unit(benchmark::kMillisecond);


// Framers on 64 KiB of line noise in 32-byte blocks: bytes per second of each.
void BM_FramerOnNoise(benchmark::State& state, const char* name, bool automatic) {
    const std::vector<uint8_t> noise = RandomBytes(65536);
    for (auto _ : state) {
        std::unique_ptr<TPackage> p;
        if (automatic) {
            auto a = std::make_unique<TPackageAuto>();
            a->SetName(name);
            p = std::move(a);
        } else {
            p = TPackageAuto::Create(name);
        }
        for (size_t at = 0; at < noise.size(); at += 32) {
            p->PutAll(noise.data() + at, 32);
            while (p->Count() > 0) p->PopMessage();
        }
        benchmark::DoNotOptimize(p->Frame().size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 65536);
}
BENCHMARK_CAPTURE(BM_FramerOnNoise, voltar, "VOLTAR", false);
BENCHMARK_CAPTURE(BM_FramerOnNoise, icp, "ICP", false);
BENCHMARK_CAPTURE(BM_FramerOnNoise, modbus_rtu, "MODBUS_RTU", false);
BENCHMARK_CAPTURE(BM_FramerOnNoise, modbus, "MODBUS", false);
BENCHMARK_CAPTURE(BM_FramerOnNoise, mercury, "MERCURY", false);
BENCHMARK_CAPTURE(BM_FramerOnNoise, owen, "OWEN", false);
BENCHMARK_CAPTURE(BM_FramerOnNoise, auto_voltar, "VOLTAR", true);
BENCHMARK_CAPTURE(BM_FramerOnNoise, auto_modbus, "MODBUS", true);
BENCHMARK_CAPTURE(BM_FramerOnNoise, auto_owen, "OWEN", true);

// A full journal written out as text beside a protocol, as at the end of a long run that failed:
// the window waits for it.
void BM_SaveFullJournalAsText(benchmark::State& state) {
    TTrafficJournal journal;
    std::vector<uint8_t> answer(35, 0x11);
    answer[0] = 0x4D, answer[1] = 0, answer[2] = 30, answer[3] = 0x73;
    for (size_t i = 0; i < journal.SlotCapacity(); ++i)
        journal.Add(i % 3 ? 1 : 2, i % 2 ? JournalDir::In : JournalDir::Out, answer.data(), answer.size(), true);
    char folder[] = "/tmp/bench_journal.XXXXXX";
    const std::string dir = mkdtemp(folder);
    for (auto _ : state) {
        const auto r = SaveRunJournal(journal, dir + "/1.000.txt", 0, "");
        if (!r.ok || r.frames != journal.SlotCapacity()) state.SkipWithError("not saved");
        state.PauseTiming();
        std::remove(r.path.c_str());
        state.ResumeTiming();
    }
    std::remove(dir.c_str());
    state.counters["frames"] = static_cast<double>(journal.SlotCapacity());
}
BENCHMARK(BM_SaveFullJournalAsText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
