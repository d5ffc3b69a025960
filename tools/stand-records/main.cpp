// stand-records: the stand's run records from the terminal.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Paths.h"
#include "records/PgRecords.h"
#include "records/RecordsReport.h"
#include "records/RunStore.h"

namespace {

const char* kUsage =
    "Использование: stand-records [--db ФАЙЛ | --postgres СТРОКА_ПОДКЛЮЧЕНИЯ] КОМАНДА\n"
    "\n"
    "Записи испытаний стенда (по умолчанию data/runs.sqlite в текущей папке) или базы завода\n"
    "PostgreSQL (строка подключения libpq, например \"host=db dbname=stand user=qa\"; время\n"
    "в часовом поясе сервера или PGTZ).\n"
    "  runs [-n N]                     последние испытания (по умолчанию 20)\n"
    "  serial НОМЕР                    все испытания станции с этим заводским номером и\n"
    "                                  строки, не прошедшие проверку\n"
    "  show ИСПЫТАНИЕ                  одно испытание текстом (ИСПЫТАНИЕ: id или его начало)\n"
    "  export --json ИСПЫТАНИЕ         одно испытание в JSON\n"
    "  export --csv ФАЙЛ [--from ДАТА] [--to ДАТА]\n"
    "                                  измерения в CSV (UTF-8), ДАТА в виде 2026-12-09\n"
    "  yield [ОТБОР] [--json]          выход годных: испытания, с первого раза, по проверкам\n"
    "  pareto [ОТБОР] [--json]         отказы по проверкам и по параметрам, частые первыми\n"
    "  capability СЦЕНАРИЙ ПАРАМЕТР [ОТБОР] [--json]\n"
    "                                  среднее, СКО, Cp и Cpk параметра против границ сценария\n"
    "ОТБОР: --from ДАТА --to ДАТА --kind ВИД_УСТРОЙСТВА --stand СТЕНД --version ВЕРСИЯ_СЦЕНАРИЯ\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "stand-records: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string db = "data/runs.sqlite", postgres;
    while (args.size() >= 2 && (args[0] == "--db" || args[0] == "--postgres")) {
        (args[0] == "--db" ? db : postgres) = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    TRunStore file;
    TPgRecords plant;
    std::string error;
    if (postgres.empty()) {
        if (!platform::IsRegularFile(db)) return Fail("файл записей " + db + " не найден");
        if (!file.Open(db, error, true)) return Fail(error);
    } else if (!plant.Open(postgres, error)) {
        return Fail(error);
    }
    TRecordsSource& store = postgres.empty() ? static_cast<TRecordsSource&>(file) : plant;
    std::string out;
    const std::string& command = args[0];
    if (command == "runs") {
        int n = 20;
        if (args.size() >= 3 && args[1] == "-n") n = std::atoi(args[2].c_str());
        out = FormatRunList(store.LastRuns(n > 0 ? n : 20, error));
    } else if (command == "serial" && args.size() == 2) {
        out = FormatSerialHistory(args[1], store.SerialHistory(args[1], error));
    } else if ((command == "show" && args.size() == 2) || (command == "export" && args.size() == 3 && args[1] == "--json")) {
        const auto run = store.LoadRun(args.back(), error);
        if (!run) return Fail(error);
        const auto eeprom = store.EepromSessions(run->id, error);
        out = command == "show" ? FormatRun(*run, eeprom) : RunJson(*run, eeprom);
    } else if (command == "export" && args.size() >= 3 && args[1] == "--csv") {
        std::string from, to;
        for (size_t i = 3; i + 1 < args.size(); i += 2) {
            if (args[i] == "--from") from = args[i + 1];
            else if (args[i] == "--to") to = args[i + 1];
            else return Fail("неизвестный ключ " + args[i]);
        }
        const auto rows = store.Measurements(from, to, error);
        if (!error.empty()) return Fail(error);
        if (!platform::WriteFileBytes(args[2], MeasurementsCsv(rows))) return Fail("не удалось записать " + args[2]);
        std::printf("Записано строк измерений: %zu\n", rows.size());
        return 0;
    } else if (command == "yield" || command == "pareto" || (command == "capability" && args.size() >= 3)) {
        StatsFilter_T filter;
        bool json = false;
        for (size_t i = command == "capability" ? 3 : 1; i < args.size(); ++i) {
            if (args[i] == "--json") {
                json = true;
                continue;
            }
            std::string* field = args[i] == "--from"      ? &filter.from
                                 : args[i] == "--to"      ? &filter.to
                                 : args[i] == "--kind"    ? &filter.deviceKind
                                 : args[i] == "--stand"   ? &filter.stand
                                 : args[i] == "--version" ? &filter.scriptVersion
                                                          : nullptr;
            if (!field || i + 1 >= args.size()) return Fail("неизвестный ключ " + args[i]);
            *field = args[++i];
        }
        for (const std::string* day : {&filter.from, &filter.to})
            if (!day->empty() && !IsStatsDay(*day)) return Fail("дата " + *day + " не годится: нужна ГГГГ-ММ-ДД");
        if (command == "yield") {
            const YieldReport_T r = store.Yield(filter, error);
            out = json ? YieldJson(r) : FormatYield(r, filter);
        } else if (command == "pareto") {
            const auto byCheck = store.ParetoByCheck(filter, error);
            const auto byParameter = store.ParetoByParameter(filter, error);
            out = json ? ParetoJson(byCheck, byParameter) : FormatPareto(byCheck, byParameter);
        } else {
            const Capability_T c = store.Capability(filter, args[1], args[2], error);
            out = json ? CapabilityJson(c) : FormatCapability(c);
        }
    } else {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!error.empty()) return Fail(error);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
