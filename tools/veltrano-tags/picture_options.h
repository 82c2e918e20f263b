// Pictures on the command line: write's --picture and --delete-picture,
// and the pictures command that lists a file's pictures and writes them out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TTags;

// One picture option of write, in the order given.
struct TPictureEdit {
    bool Delete = false;  // --delete-picture TYPE
    uint32_t Type = 3;
    std::string Image;  // the picture file of --picture
    std::string Description;
    bool HasDescription = false;
};

// When Args[I] is --picture TYPE=IMAGE[:DESCRIPTION] or --delete-picture
// TYPE, takes it with its value (I moves to the value) into Edits and
// returns true; Error is set when the value is malformed. False for any
// other argument.
bool TakePictureOption(const std::vector<std::string>& Args, size_t& I, std::vector<TPictureEdit>& Edits,
                       std::string& Error);
// Applies the edits to the container in order. --picture replaces the
// pictures of its type (of its type and description when it names one) or
// adds one; --delete-picture removes every picture of its type. False with
// Error when a picture file cannot be read or is no picture.
bool ApplyPictureEdits(TTags& Tags, const std::vector<TPictureEdit>& Edits, std::string& Error);
