#pragma once
// Start-up of the engine and the similarity settings kept in the settings
// section "Session".
namespace kv {

class TMP3Collection;

// Loads "fnametemplates.txt" and, when it exists, "excludewords.txt" from the
// program folder, and routes the engine's "Session" flags to the settings store.
void EngineInitialize();
// Frees the template and exclude-word lists.
void EngineFinalize();

// ArtistBound, TitleBound, Combine, TimeDifference and CheckAlbums from
// "Session", in that order, with the defaults 90, 85, 3, 5 and 0.
void ReadSimilaritySettings(TMP3Collection& collection);
// Writes the same five values back to "Session".
void WriteSimilaritySettings(const TMP3Collection& collection);

}  // namespace kv
