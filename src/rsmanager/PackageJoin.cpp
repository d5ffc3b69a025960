#include "rsmanager/PackageJoin.h"

void TPackageJoin::SetProtocol(const std::string& protocol) {
    framer_.reset();
    if (protocol == "VOLTAR") {
        kind_ = Kind::Voltar;
        framer_ = std::make_unique<TPackageJoinVoltar>();
    } else if (protocol == "ICP") {
        kind_ = Kind::Icp;
        framer_ = std::make_unique<TPackageJoinIcpcon>(20);
    } else if (protocol == "MODBUS_RTU") {
        // The Modbus RTU framer is not built yet; until then its line is read as raw blocks.
        kind_ = Kind::ModbusRtu;
        framer_ = std::make_unique<TPackageJoinHole>();
    } else if (protocol == "AUTO") {
        // The resynchronising framer is not built yet; raw blocks until then.
        kind_ = Kind::Auto;
        framer_ = std::make_unique<TPackageJoinHole>();
    } else {
        kind_ = Kind::Hole;
        framer_ = std::make_unique<TPackageJoinHole>();
    }
    framer_->Reset();
}
