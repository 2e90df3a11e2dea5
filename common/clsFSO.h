#pragma once
// The program's class of file, folder and drive operations: deleting files
// and folder trees against read-only attributes and foreign ownership,
// moving, copying and renaming with a replace question, ";"-separated file
// and folder lists, totals over a folder, temporary names, files and folders,
// free disk space, a text file read into lines, the folder picker, path
// shortening for display, and small path and attribute functions.
// Members report failure through their results and never throw, except the
// plain ones noted below.
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

class QWidget;

class clsFSO {
public:
    struct FileInfoRecord {
        std::string Drive;
        std::string Path;
        std::string ParentFolder;
        std::string Size;
        std::string Type;
        std::string Extension;
        std::string DateLastAccessed;
        std::string DateLastModified;
        std::string DateCreated;
        std::string Attributes;
    };

    // Events: the running count or total and the file's full path.
    std::function<void(double dblCount, const std::string& sFile)> CountFiles;
    std::function<void(double dblTotal, const std::string& sFile)> CountTotals;
    // When true, the listing loops of Get_FileList and Get_DirList stop at their next turn.
    bool CancelProcessing = false;

    clsFSO();
    ~clsFSO();

    void Count(double dblData);
    double Count() const;
    void Get_FileProperties(const std::string& FullPathAndNameOfFile);
    bool KillFile(const std::string& strFile);
    bool KillDir(const std::string& strPath, bool RecreatePath = false);
    std::string StripDrive(const std::string& strPath);
    bool IsDriveReady(const std::string& strDrive);
    bool Create_Dir_Struct(const std::string& strPath);
    std::string Get_Extension(const std::string& strFileName);
    std::string Get_FileNoExtension(const std::string& strFileName);
    std::string Get_Filename(const std::string& strFileName);
    std::string Get_Path(const std::string& strFileName);
    std::string Get_Version(const std::string& strFileName);
    std::string Get_VB_Version(const std::string& strFileName);
    bool Drive_Exist(const std::string& strSearchData, std::int32_t& lngDriveType);
    bool File_Exist(const std::string& strSearchItem);
    bool Folder_Exist(const std::string& strFolder);
    std::vector<std::string> Available_Drives();
    bool IsThisRestricted(const std::string& strPath);
    bool Get_FileInfo(const std::string& strFileName);
    bool IsFileHidden(const std::string& strFileName);
    std::string Attribute_String(std::int32_t lngValue);
    void Move_Dir(const std::string& sSource, const std::string& sDestination);
    bool Move_File(const std::string& strSource, const std::string& strTarget, bool boolOverwrite = false);
    bool Copy_File(const std::string& strSource, const std::string& strTarget, bool boolOverwrite = false);
    bool DelTree32(const std::string& strPath);
    std::string Add_Trailing_Slash(const std::string& strPath);
    std::string Remove_Trailing_Slash(const std::string& strPath);
    std::vector<std::string> TextSearch(const std::string& strPath, const std::string& strText);
    std::string Get_Totals(const std::string& strPath, std::int16_t intDataType, const std::string& strPattern,
                           bool blnSearchSubfolders);
    std::string Get_FileList(const std::string& strPath, bool blnSearchSubfolders, const std::string& strPattern);
    std::string Get_DirList(const std::string& strPath, bool bRecurseSubs = false);
    void AccessErrNum(std::int32_t errNum);
    std::int32_t AccessErrNum() const;
    std::string Create_Tmp_Filename();
    std::string Create_Tmp_Filename(std::string& strTmpFolder);
    std::string Create_Tmp_Folder();
    double GetDirSize(const std::string& sDir);
    std::string Remove_Nulls(const std::string& strInput);
    std::string Create_Tmp_Name(std::int16_t intLength);
    float Rnd2(float sngLow, float sngHigh);
    std::string BrowseForFolder(QWidget* frm = nullptr, const std::string& strPrompt = "");
    std::string Shrink_2_Fit(const std::string& strPath_to_Resize, std::int16_t intMaxLen);
    bool Get_Disk_Space(const std::string& strDrive, double& dblTotalSpace, double& dblFreeSpace,
                        double& dblUsedSpace);
    void FileToArray(const std::string& Filename, std::vector<std::string>& TheArray);
    bool RenFile(const std::string& sOriginalPathAndFileName, std::string& sNewFileNameOnly,
                 bool bOverwriteIfExist = false);
    // ZeroDate() when the file is missing.
    std::time_t GetFileCreationDate(const std::string& sTargetFile);
    // Errors reach the caller.
    void ResetAttributes(const std::string& sTargetFile);
    std::string ReturnNewerFile(const std::string& sFile1, const std::string& sFile2);
    std::string ReturnNewestFileFromSpec(const std::string& sFilePath, const std::string& sFileSpec,
                                         bool bScanSubDirs = false);

    const FileInfoRecord& FileInfo() const { return fileInfo_; }
    // 30 December 1899, the run time's date 0.
    static std::time_t ZeroDate();

private:
    bool CopyOrMove(const std::string& strSource, const std::string& strTarget, bool boolOverwrite, bool move);
    bool FillFileInfo(const std::string& strFileName);
    void Clear();

    double dblCount_ = 0;
    std::int32_t accessErrNum_ = 0;
    FileInfoRecord fileInfo_;
};
