#include "platform/basekit/undo_manager.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A value whose setter registers its own inverse, the usual shape of an undoable edit.
struct Model {
    HXUndoManager& undo;
    int value = 0;

    void set(int v)
    {
        int old = value;
        undo.registerUndo(this, [this, old] { set(old); });
        value = v;
    }
};

} // namespace

TEST(UndoManager, UndoAndRedoRunThroughTheSamePath)
{
    HXUndoManager undo;
    Model m { undo };
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(undo.undoMenuItemTitle(), "Undo");
    m.set(1);
    undo.setActionName("Cut");
    m.set(2);
    undo.setActionName("Paste");
    EXPECT_EQ(undo.undoMenuItemTitle(), "Undo Paste");

    undo.undo();
    EXPECT_EQ(m.value, 1);
    EXPECT_EQ(undo.undoMenuItemTitle(), "Undo Cut");
    EXPECT_EQ(undo.redoMenuItemTitle(), "Redo Paste");
    undo.undo();
    EXPECT_EQ(m.value, 0);
    EXPECT_FALSE(undo.canUndo());
    undo.redo();
    undo.redo();
    EXPECT_EQ(m.value, 2);
    EXPECT_FALSE(undo.canRedo());
    undo.undo();
    EXPECT_EQ(m.value, 1);

    m.set(5); // a new edit forgets what could be redone
    EXPECT_FALSE(undo.canRedo());
    undo.undo();
    EXPECT_EQ(m.value, 1);
    undo.undo();
    EXPECT_EQ(m.value, 0);
}

TEST(UndoManager, GroupsReverseAsOneInReverseOrder)
{
    HXUndoManager undo;
    std::vector<std::string> ran;
    int target = 0;
    undo.beginUndoGrouping();
    undo.registerUndo(&target, [&] { ran.push_back("first"); });
    undo.beginUndoGrouping();
    undo.registerUndo(&target, [&] { ran.push_back("nested"); });
    undo.endUndoGrouping();
    undo.registerUndo(&target, [&] { ran.push_back("last"); });
    EXPECT_EQ(undo.groupingLevel(), 1);
    undo.undo(); // ignored: the group is still open
    EXPECT_TRUE(ran.empty());
    undo.endUndoGrouping();
    undo.endUndoGrouping(); // unbalanced: ignored
    undo.undo();
    EXPECT_EQ(ran, (std::vector<std::string> { "last", "nested", "first" }));
    EXPECT_FALSE(undo.canUndo());
}

TEST(UndoManager, EventGroupsCollectRegistrationsUntilThePassEnds)
{
    HXUndoManager undo;
    undo.setGroupsByEvent(true);
    Model m { undo };
    m.set(1);
    m.set(2);
    EXPECT_TRUE(undo.canUndo());
    undo.endEventGroup();
    m.set(3);
    undo.undo(); // closes the open event group first
    EXPECT_EQ(m.value, 2);
    undo.undo();
    EXPECT_EQ(m.value, 0);

    HXUndoManager plain;
    Model p { plain };
    p.set(1);
    p.set(2);
    plain.undo();
    EXPECT_EQ(p.value, 1) << "without event groups each registration is its own group";
}

TEST(UndoManager, StateDuringUndoAndRedo)
{
    HXUndoManager undo;
    std::vector<std::string> seen;
    std::function<void()> action = [&] {
        seen.push_back(undo.isUndoing() ? "undoing" : undo.isRedoing() ? "redoing" : "idle");
        undo.registerUndo(&undo, action);
        undo.setActionName("Again");
    };
    undo.registerUndo(&undo, action);
    undo.setActionName("First");
    undo.undo();
    EXPECT_EQ(undo.redoActionName(), "Again");
    undo.redo();
    EXPECT_EQ(seen, (std::vector<std::string> { "undoing", "redoing" }));
    EXPECT_FALSE(undo.isUndoing());
    EXPECT_TRUE(undo.canUndo());
}

TEST(UndoManager, LevelsDropTheOldestGroups)
{
    HXUndoManager undo;
    Model m { undo };
    undo.setLevelsOfUndo(2);
    for (int v = 1; v <= 4; ++v)
        m.set(v);
    undo.undo();
    undo.undo();
    EXPECT_EQ(m.value, 2);
    EXPECT_FALSE(undo.canUndo());
}

TEST(UndoManager, RemovingActionsOfOneTarget)
{
    HXUndoManager undo;
    Model a { undo }, b { undo };
    a.set(1);
    b.set(10);
    undo.beginUndoGrouping();
    a.set(2);
    b.set(20);
    undo.endUndoGrouping();
    undo.removeAllActionsWithTarget(&b);
    undo.undo();
    EXPECT_EQ(a.value, 1);
    EXPECT_EQ(b.value, 20);
    undo.undo();
    EXPECT_EQ(a.value, 0);
    EXPECT_FALSE(undo.canUndo()) << "b's group became empty and is gone";

    a.set(3);
    undo.removeAllActions();
    EXPECT_FALSE(undo.canUndo());
    EXPECT_FALSE(undo.canRedo());
}

TEST(UndoManager, DisabledRegistrationIsNested)
{
    HXUndoManager undo;
    Model m { undo };
    undo.disableUndoRegistration();
    undo.disableUndoRegistration();
    m.set(1);
    undo.enableUndoRegistration();
    m.set(2);
    EXPECT_FALSE(undo.canUndo());
    undo.enableUndoRegistration();
    undo.enableUndoRegistration(); // extra: ignored
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
    m.set(3);
    undo.undo();
    EXPECT_EQ(m.value, 2);
}

TEST(UndoManager, FailingActionLeavesAUsableManager)
{
    HXUndoManager undo;
    Model m { undo };
    m.set(1);
    undo.registerUndo(&m, [] { throw std::runtime_error("broken"); });
    EXPECT_THROW(undo.undo(), std::runtime_error);
    EXPECT_FALSE(undo.isUndoing());
    EXPECT_EQ(undo.groupingLevel(), 0);
    undo.undo();
    EXPECT_EQ(m.value, 0);
}
