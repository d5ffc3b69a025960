#include "rsmanager/PackageJoin.h"

#include "rsmanager/PackageModbus.h"

void TPackageJoin::SetProtocol(const std::string& protocol) {
    framer_.reset();
    if (protocol == "VOLTAR") {
        kind_ = Kind::Voltar;
        framer_ = std::make_unique<TPackageJoinVoltar>();
    } else if (protocol == "ICP") {
        kind_ = Kind::Icp;
        framer_ = std::make_unique<TPackageJoinIcpcon>(20);
    } else if (protocol == "MODBUS_RTU") {
        kind_ = Kind::ModbusRtu;
        framer_ = std::make_unique<TPackageJoinModbusRtu>();
    } else if (protocol == "AUTO") {
        kind_ = Kind::Auto;
        framer_ = std::make_unique<TPackageAuto>();
    } else {
        kind_ = Kind::Hole;
        framer_ = std::make_unique<TPackageJoinHole>();
    }
    framer_->Reset();
}
