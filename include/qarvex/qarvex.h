// The whole public library in one include: volumes and their entry streams, the streams, the
// assertion log, resource kinds, persistent objects, graphics resources and their pictures.
// Every name lives in namespace qarvex.
#pragma once

#include <qarvex/core/AssertLog.h>
#include <qarvex/core/LittleEndian.h>
#include <qarvex/core/Vector.h>
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/gfx/GFXFont.h>
#include <qarvex/gfx/GFXFontFactories.h>
#include <qarvex/gfx/GFXObsoleteFont.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/gfx/ResourceTypeGFX.h>
#include <qarvex/persist/Persistent.h>
#include <qarvex/persist/PersistentStream.h>
#include <qarvex/platform/Platform.h>
#include <qarvex/platform/Process.h>
#include <qarvex/platform/TemporaryFile.h>
#include <qarvex/platform/Wildcard.h>
#include <qarvex/png/GraphicsPictures.h>
#include <qarvex/png/Picture.h>
#include <qarvex/resource/RawData.h>
#include <qarvex/resource/ResourceNameTable.h>
#include <qarvex/resource/ResourceType.h>
#include <qarvex/stream/BlockStream.h>
#include <qarvex/stream/DecodingRStream.h>
#include <qarvex/stream/FileRStream.h>
#include <qarvex/stream/LZHEncoder.h>
#include <qarvex/stream/LZHRStream.h>
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/stream/RLEEncoder.h>
#include <qarvex/stream/RLERStream.h>
#include <qarvex/stream/StreamIO.h>
#include <qarvex/volume/EntryMethod.h>
#include <qarvex/volume/EntryReader.h>
#include <qarvex/volume/VolumeBuilder.h>
#include <qarvex/volume/VolumeNames.h>
#include <qarvex/volume/VolumeRStream.h>
#include <qarvex/volume/VolumeStream.h>
#include <qarvex/volume/VolumeWriter.h>
