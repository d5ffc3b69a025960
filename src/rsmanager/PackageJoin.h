#pragma once

#include <memory>
#include <string>

#include "rsmanager/Package.h"

// The receiver's framer, chosen by protocol name (exact, case included).
class TPackageJoin {
public:
    enum class Kind { Hole, Voltar, Icp, ModbusRtu, Auto };

    explicit TPackageJoin(const std::string& protocol) { SetProtocol(protocol); }

    void SetProtocol(const std::string& protocol);
    Kind CurrentKind() const { return kind_; }
    TPackage& Framer() { return *framer_; }

    int AddData(const uint8_t* data, size_t count) { return framer_->Put(data, count); }
    // Every frame of the block, in order; a partial frame at its end waits for the next block.
    int AddDataAll(const uint8_t* data, size_t count) { return framer_->PutAll(data, count); }
    int Count() const { return framer_->Count(); }
    Message_T PopMessage() { return framer_->PopMessage(); }
    void Clear() { framer_->Clear(); }

private:
    std::unique_ptr<TPackage> framer_;
    Kind kind_ = Kind::Hole;
};
