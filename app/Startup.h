// The program's start-up sequence, shared by the program and its start-up benchmark.
#pragma once
#include <functional>

class QTranslator;
class TfMainForm;

// Lets the benchmark look at the program the moment its main window is shown.
struct TStartupProbe {
  std::function<void(TfMainForm& form)> OnMainShown;
  long long SplashWaitMs = 0; // how long the splash wait really took
};

int TesselMain(int argc, char** argv, TStartupProbe* probe = nullptr);

// The toolkit's own texts (file, print and colour dialogs, standard buttons) in Japanese: from
// a translations folder beside the program, else from the toolkit's. False when none was found.
bool InstallToolkitTranslation(QTranslator& translator);
