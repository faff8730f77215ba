// The program's application object. Handlers are wrapped where we connect them; this is the
// last line of defence for an exception thrown from an event handler of our own (a show event,
// a timer) that would otherwise end the program: it is shown and the program goes on.
#pragma once

#include <QApplication>

namespace kavro {

class KavroApplication : public QApplication {
 public:
  KavroApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kavro
