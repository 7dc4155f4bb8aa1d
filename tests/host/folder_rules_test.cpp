#include "ui/folder_rules.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(InitialBrowseFolder, ProductFolderOpensAtItsParent) {
  EXPECT_EQ(initial_browse_folder("D:\\Users\\user\\AppData\\Local\\Programs\\Quorvane"),
            "D:\\Users\\user\\AppData\\Local\\Programs");
  EXPECT_EQ(initial_browse_folder("D:\\Apps\\QUORVANE\\\\"), "D:\\Apps");
  EXPECT_EQ(initial_browse_folder("D:/Apps/quorvane/"), "D:/Apps");
  EXPECT_EQ(initial_browse_folder("C:\\\\Programs\\Quorvane"), "C:\\\\Programs");
}

TEST(InitialBrowseFolder, OtherTextOpensAtItself) {
  EXPECT_EQ(initial_browse_folder("D:\\Apps\\Tools"), "D:\\Apps\\Tools");
  EXPECT_EQ(initial_browse_folder("\\Quorvane"), "\\Quorvane");  // separator first
  EXPECT_EQ(initial_browse_folder("  D:\\Apps \t"), "D:\\Apps");
  EXPECT_EQ(initial_browse_folder(""), "");
  EXPECT_EQ(initial_browse_folder(" \\\\ "), "");
  EXPECT_EQ(initial_browse_folder("Quorvane"), "Quorvane");            // no separator
  EXPECT_EQ(initial_browse_folder("D:\\Quorvanes"), "D:\\Quorvanes");  // not the word
  EXPECT_EQ(initial_browse_folder("D:\\Apps\\Quorvane Beta"), "D:\\Apps\\Quorvane Beta");
  // Only ASCII letters compare without case; other letters must match exactly.
  EXPECT_EQ(initial_browse_folder("D:\\QU\xC3\x96RVANE"), "D:\\QU\xC3\x96RVANE");
}

TEST(PickedFolderText, AddsTheProductFolderOnce) {
  EXPECT_EQ(picked_folder_text("E:\\"), "E:\\Quorvane");
  EXPECT_EQ(picked_folder_text("E:\\Games"), "E:\\Games\\Quorvane");
  EXPECT_EQ(picked_folder_text("E:\\Games\\quorvane"), "E:\\Games\\quorvane");
  EXPECT_EQ(picked_folder_text("E:\\Games\\QuorVane\\"), "E:\\Games\\QuorVane");
  EXPECT_EQ(picked_folder_text("  \\\\server\\share\\apps \n"),
            "\\\\server\\share\\apps\\Quorvane");
  EXPECT_EQ(picked_folder_text("Quorvane"), "Quorvane");
  EXPECT_EQ(picked_folder_text(" \t\xE3\x80\x80"), std::nullopt);  // U+3000 is white space
  EXPECT_EQ(picked_folder_text(""), std::nullopt);
}

}  // namespace
}  // namespace qv
