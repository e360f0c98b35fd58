// The one error type of the engine: a DAO-style error number and a Korean
// description that can be shown to the user as it stands.
#ifndef MDBCARE_JET_BASE_ERROR_H_
#define MDBCARE_JET_BASE_ERROR_H_

#include <stdexcept>
#include <string>

namespace jet {

// Error numbers, following DAO where it has an equivalent.
enum ErrorNumber : int {
  kErrFileNotFound = 3024,         // the database file does not exist
  kErrInvalidPassword = 3031,      // the connect string's password is wrong
  kErrDamagedFile = 3049,          // the file is damaged or not a database
  kErrCannotOpenFile = 3051,       // no permission, a directory, unreadable
  kErrTableNotFound = 3078,        // no table of that name in the catalog
  kErrItemNotFound = 3265,         // no column or object of that name
  kErrUnrecognizedFormat = 3343,   // not a Jet 3 or Jet 4 file
  kErrUnsupportedFeature = 3251,   // the operation is not supported
  kErrDiskIo = 3043,               // a read or write of the file failed
  kErrDuplicateKey = 3022,         // a unique index would get a duplicate
  kErrReadOnly = 3027,             // the database is open read-only
  kErrFileInUse = 3045,            // another program has the file open
  kErrFieldTooSmall = 3163,        // text too long for the column
  kErrAlreadyExists = 3204,        // the destination database exists
  kErrRequired = 3314,             // a Required column would be Null
  kErrZeroLength = 3315,           // "" where zero length is not allowed
  kErrConversion = 3421,           // the value does not fit the type
  // This engine cannot make the index key of the value with certainty in
  // the column's sort order; the write is refused (no DAO equivalent).
  kErrIndexKeyUnavailable = 3900,
};

class Error : public std::runtime_error {
 public:
  Error(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}

  int number() const { return number_; }
  const char* description() const { return what(); }

 private:
  int number_;
};

// Raised by the decoders when a structure read from the file does not hold
// together (a pointer or length outside its page, a loop in a page chain).
[[noreturn]] void ThrowDamaged(const std::string& detail);

// Raised by the writers for a row longer than a data page can hold (3251).
[[noreturn]] void ThrowRowTooLarge();

}  // namespace jet

#endif  // MDBCARE_JET_BASE_ERROR_H_
