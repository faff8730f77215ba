#include "mainwin/link_names.h"

#include <QFile>

#include "link/controller_link.h"
#include "serial/port_table.h"

namespace kavro {

QString LinkName(int choice, const std::string& host, int tcp_port) {
  if (choice == kTcpPort) {
    QString address = QString::fromStdString(host);
    if (address.contains(QLatin1Char(':'))) address = QLatin1Char('[') + address + QLatin1Char(']');
    return QStringLiteral("RaViz (%1:%2)").arg(address).arg(tcp_port);
  }
  const QString port = QStringLiteral("COM%1").arg(choice);
  const std::string device = PortTable::DevicePath(choice);
  if (device.empty()) return port;
  // A device path is a file name: its bytes are in the system's encoding.
  return port + QStringLiteral(" (") + QFile::decodeName(QByteArray::fromStdString(device)) +
         QLatin1Char(')');
}

QString LinkStateLine(const QString& link_name, bool open) {
  return QStringLiteral("Link: ") + link_name +
         (open ? QStringLiteral(", open") : QStringLiteral(", closed"));
}

QString MenuItemText(const QString& text) {
  QString caption = text;
  return caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace kavro
