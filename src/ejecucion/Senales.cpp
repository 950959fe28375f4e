#include "ejecucion/Senales.h"

#include <QTimer>
#include <atomic>
#include <csignal>

namespace ejecucion {

namespace {

std::atomic<bool> senalRecibida{false};

extern "C" void alSenal(int) {
    senalRecibida = true;
}

}  // namespace

void vigilarSenales(QObject* padre, std::function<void()> alDetener) {
    std::signal(SIGINT, alSenal);
    std::signal(SIGTERM, alSenal);
    auto* vigia = new QTimer(padre);
    QObject::connect(vigia, &QTimer::timeout, padre, [alDetener = std::move(alDetener)] {
        if (senalRecibida.exchange(false)) alDetener();
    });
    vigia->start(100);
}

}  // namespace ejecucion
