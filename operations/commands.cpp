#include "commands.h"

WindowCommands Commands::all() {
    WindowCommands commands;
    commands.LoadFormFileClick = LoadFormFileClick;
    commands.SaveToFileClick = SaveToFileClick;
    commands.DeleteFormDBClick = DeleteFormDBClick;
    commands.RenameClick = RenameClick;
    commands.OpenPicDataFileClick = OpenPicDataFileClick;
    commands.NewPicFileClick = NewPicFileClick;
    commands.FiltByNameClick = FiltByNameClick;
    commands.ShowAllClick = ShowAllClick;
    commands.CopyToCBoardClick = CopyToCBoardClick;
    commands.CutToCBoardClick = CutToCBoardClick;
    commands.PasteFromCBoardClick = PasteFromCBoardClick;
    commands.SaveManyPicClick = SaveManyPicClick;
    commands.FormDragDrop = FormDragDrop;
    return commands;
}
