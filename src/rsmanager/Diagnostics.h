#pragma once

#include <functional>
#include <string>

// Texts the serial manager's threads leave at each failure point. Nobody reads them in normal
// work; a test or a debug log installs a sink. The sink is called from the manager's threads.
using RsDiagnosticsSink = std::function<void(const std::string&)>;

void SetRsDiagnosticsSink(RsDiagnosticsSink sink);
void RsDiagnostic(const std::string& text);

namespace rsdiag {
inline constexpr const char* kNoRxChar = "::Событие RXCHAR так и не наступило";
inline constexpr const char* kInvalidHandle =
    "ERROR: hComm==INVALID_HANDLE_VALUE. Ошибка подключения к COM-порту. Заданный порты либо не "
    "существует, либо используется другой программой.";
inline constexpr const char* kReadTimeout =
    "WAIT_TIMEOUT - чтение данных из порта за заданное время не выполнено. Проверьте настройки "
    "таймаутов порта";
inline constexpr const char* kReadFailed = "ERROR_IO_PENDING==FALSE - Операция чтения порта окончена";
inline constexpr const char* kWriteFailed = "ERROR_IO_PENDING==FALSE - Операция запись в порт окончена";
inline constexpr const char* kWriteTimeout = "RS_WRITE_TIMEOUT";
}  // namespace rsdiag
