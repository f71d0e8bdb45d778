// Cinematics mode: the shots a script plays are the single-quoted names
// given to calls of PlayCinematicShot; they become the requirements of the
// group "shot" in the script's "REQN" chunk.
#pragma once

#include <string>
#include <string_view>

class ChunkWriter;
class ToolStringNode;

// Adds, under `root`, the group "shot" and each shot named in `scriptText`
// (lower-cased, first appearance first, no repeats). Lines of any length.
void CollectShotRequirements(std::string_view scriptText, ToolStringNode* root);

// Writes the "REQN" chunk: each group's name followed by its names.
void WriteRequirements(ChunkWriter* reqWriter, const ToolStringNode& root);
