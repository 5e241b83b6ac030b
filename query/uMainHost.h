// What the child windows and tools (query windows, builder, data tools, viewers) need of the
// main window. The main window implements it; nothing below it includes the main window.
#pragma once
#include <QString>

class TOraSession;
class TfMain;

// A node of the schema tree: its text and the text of its parent (empty for the root).
struct TSchemaNode {
  QString Text;
  QString Parent;
  bool Valid = false;
};

class TMainHost {
public:
  virtual ~TMainHost() = default;

  // The program's one session.
  virtual TOraSession& Session() = 0;
  // Logs on with the stored logon; a refused logon is shown to the user. True when connected.
  virtual bool ConnectSession() = 0;
  // Feeds the SQL history: the text is added unless an item is exactly equal to it.
  virtual void AddHistory(const QString& text) = 0;
  // The node selected in the schema tree; Valid is false when none is.
  virtual TSchemaNode SelectedObject() const = 0;
  // The query window that has the focus among the frame's child windows, if any.
  virtual TfMain* ActiveQueryWindow() const = 0;
  // The first panel of the main window's status bar.
  virtual void SetStatusText(const QString& text) = 0;
  // Whether dates are shown without the time of day ("YYYY/MM/DD").
  virtual bool DateOnlyFormat() const = 0;
};
