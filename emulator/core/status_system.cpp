#include "core/status_system.h"

namespace qmdc::emu {

namespace {

struct ErrorTextEntry {
    int code;
    const char* text;
};

constexpr ErrorTextEntry kErrorTexts[] = {
    {0, "No error"},
    {-100, "Command error"},
    {-102, "Syntax error"},
    {-104, "Data type error"},
    {-108, "Parameter not allowed"},
    {-109, "Missing parameter"},
    {-113, "Undefined header"},
    {-200, "Execution error"},
    {-222, "Data out of range"},
    {-224, "Illegal parameter value"},
    {-300, "Device-specific error"},
    {-350, "Queue overflow"},
    {-363, "Input buffer overrun"},
    {-400, "Query error"},
};

int EsrBitForError(int code) {
    if (code <= -100 && code > -200) return kEsrCommandError;
    if (code <= -200 && code > -300) return kEsrExecutionError;
    if (code <= -300 && code > -400) return kEsrDeviceError;
    if (code <= -400 && code > -500) return kEsrQueryError;
    return 0;
}

}  // namespace

const char* ErrorText(int code) {
    for (const ErrorTextEntry& entry : kErrorTexts) {
        if (entry.code == code) return entry.text;
    }
    return "Unknown error";
}

void ErrorQueue::Push(int code) {
    if (entries_.size() >= kCapacity) {
        entries_.back() = QueuedError{-350, ErrorText(-350)};
        return;
    }
    entries_.push_back(QueuedError{code, ErrorText(code)});
}

QueuedError ErrorQueue::Pop() {
    if (entries_.empty()) return QueuedError{0, ErrorText(0)};
    QueuedError first = std::move(entries_.front());
    entries_.pop_front();
    return first;
}

void StatusSystem::ReportError(int code) {
    errors.Push(code);
    esr |= EsrBitForError(code);
}

int StatusSystem::StatusByte() const {
    int stb = 0;
    if (errors.Count() != 0) stb |= 4;  // error/event queue not empty
    if (questionable.Summary()) stb |= 8;
    if ((esr & ese) != 0) stb |= 32;
    if (operation.Summary()) stb |= 128;
    if ((stb & sre) != 0) stb |= 64;  // master summary status
    return stb;
}

void StatusSystem::Clear() {
    esr = 0;
    for (EventRegister* reg : {&operation, &questionable, &hardware, &temperature}) reg->event = 0;
    errors.Clear();
}

void StatusSystem::Preset() {
    for (EventRegister* reg : {&operation, &questionable, &hardware, &temperature}) reg->enable = 0;
}

}  // namespace qmdc::emu
