// stand-sim: a simulated station and stand I/O modules on pseudo-terminals, for the demo, for
// trying the program without a stand, and for tests.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "StandSim.h"

namespace {

const char* kHelp =
    "Использование: stand-sim [--station ПУТЬ] [--modules ПУТЬ] [--scenario ФАЙЛ]\n"
    "\n"
    "Имитатор стенда: станция (канал 1, пакеты 0x4D с CRC-16) и модули ввода-вывода DCON\n"
    "01..03 (канал 2) на псевдотерминалах. Пути --station и --modules становятся\n"
    "символическими ссылками на устройства; их указывают программе как порты\n"
    "(data/nastr.ini, раздел [port]: connect_stantion, connect_stend).\n"
    "Работает до SIGINT или SIGTERM, затем удаляет ссылки.\n"
    "\n"
    "Сценарий (INI):\n"
    "  [station]\n"
    "  echo=1               эхо запросов (двухпроводная линия)\n"
    "  delay_ms=20          задержка ответа (время обработки запроса станцией)\n"
    "  baud=9600            скорость линии: байты ответа идут с её темпом, запрос\n"
    "                       принимается, когда мог прийти его последний байт (0: сразу)\n"
    "  parity=even          чётность линии: none, even, odd\n"
    "  stop_bits=2          стоповых битов: 1 или 2\n"
    "  silent=1             станция молчит\n"
    "  bad_crc=1            ответы с неверной контрольной суммой\n"
    "  garbage=12 34        байты перед каждым ответом\n"
    "  split_at=3           ответ двумя записями, разрез после 3 байт\n"
    "  two_frames=1         каждый ответ дважды в одной записи\n"
    "  i2c_fail=1           команды ПЗУ отвечают 0B\n"
    "  silent_block=00 40   запросы ПЗУ по этому адресу (шестнадцатеричному) без ответа\n"
    "  silent_block_times=1 сколько таких запросов остаются без ответа (1 по умолчанию)\n"
    "  clear_after_polls=5  пятый запрос 00 01 88 отвечает 77 4D, страницы A2..AE обнуляются\n"
    "  scale=80             байт ответа E5\n"
    "  logical_number=300   логический номер в ответе 7F\n"
    "  versions=01 02 03 04 версии ЦП, КК, РЕГ, ИЗМ в ответе 7F\n"
    "  [answers]\n"
    "  73=00 FA ...         байты данных ответа по его коду (шестнадцатеричные)\n"
    "  [modules]\n"
    "  inputs=1             входы модуля 03 (младшие 4 бита)\n"
    "  baud, parity, stop_bits  линия модулей, как у станции\n";


bool Link(const std::string& link, const std::string& target) {
    if (link.empty()) return true;
    std::error_code ec;
    if (std::filesystem::is_symlink(link, ec)) std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(target, link, ec);
    if (ec) std::fprintf(stderr, "stand-sim: не удалось создать ссылку %s: %s\n", link.c_str(),
                         ec.message().c_str());
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    std::string stationLink, modulesLink, scenarioPath;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "stand-sim: после %s нужно значение\n", a.c_str());
                std::exit(2);
            }
            out = argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == "--station") {
            value(stationLink);
        } else if (a == "--modules") {
            value(modulesLink);
        } else if (a == "--scenario") {
            value(scenarioPath);
        } else {
            std::fprintf(stderr, "stand-sim: неизвестный параметр %s (см. --help)\n", a.c_str());
            return 2;
        }
    }

    sim::Scenario_T scenario;
    if (!scenarioPath.empty()) {
        std::string error;
        if (!sim::LoadScenario(scenarioPath, scenario, error)) {
            std::fprintf(stderr, "stand-sim: %s\n", error.c_str());
            return 1;
        }
    }

    // The signals are taken synchronously below, so no handler runs in the middle of anything.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    sim::StandSim stand(scenario);
    std::string error;
    if (!stand.Start(error)) {
        std::fprintf(stderr, "stand-sim: %s\n", error.c_str());
        return 1;
    }
    if (!Link(stationLink, stand.StationPort()) || !Link(modulesLink, stand.ModulesPort())) return 1;
    std::printf("station: %s%s%s\n", stand.StationPort().c_str(),
                stationLink.empty() ? "" : " <- ", stationLink.c_str());
    std::printf("modules: %s%s%s\n", stand.ModulesPort().c_str(),
                modulesLink.empty() ? "" : " <- ", modulesLink.c_str());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&set, &sig);
    stand.Stop();
    std::error_code ec;
    if (!stationLink.empty()) std::filesystem::remove(stationLink, ec);
    if (!modulesLink.empty()) std::filesystem::remove(modulesLink, ec);
    return 0;
}
