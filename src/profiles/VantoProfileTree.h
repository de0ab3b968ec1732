#pragma once
// The profile tree ("Customize Profiles"): the whole catalogue as categories and their profiles
// with check boxes; unchecked ones are hidden from the profile picker. OK rewrites the user's
// catalogue file and reloads the catalogue; the dialog then ends with OK whether or not that
// worked (a failure is reported with "SaveFailed"). The nodes point at the catalogue's own
// records, which the reload frees: the dialog must not be used after OK. User-interface thread.

#include <QDialog>
#include <vector>

#include "profiles/ProfileMenuText.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TVantoProfileTree : public QDialog {
    Q_OBJECT
public:
    explicit TVantoProfileTree(QWidget* parent = nullptr);

    // The category node of the catalogue's category `index`, and its profile nodes.
    QTreeWidgetItem* CategoryNode(int index) const;
    // Flips a node's check mark and passes the change on (the check-box click and Space do this).
    void ToggleNode(QTreeWidgetItem* node);
    void btnCheckAllClick();
    void btnUnCheckAllClick();
    void btnOkClick();
    // The tree as the catalogue file will hold it.
    std::vector<TProfileMenuNode> Nodes() const;

    QTreeWidget* profileTree;
    QPushButton* btnCheckAll;
    QPushButton* btnUnCheckAll;
    QPushButton* btnOk;
    QPushButton* btnCancel;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void propagate(QTreeWidgetItem* node);
    void setAll(bool checked);
    bool updating_ = false;
};
