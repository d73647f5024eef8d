// The texts that exist in two languages. The Japanese ones are Shift-JIS
// (code page 932) bytes, written as escapes so that no source encoding or
// locale can change them.
#pragma once

#include "control/settings.h"

namespace cmtgrab::messages {

inline constexpr const char* outofrange_ja = "\x83""p\x83\x89\x83\x81\x81""[\x83""^\x82\xCC\x92""l\x82\xAA\x94\xCD\x88\xCD\x8A""O\x82\xC5\x82\xB7""\n";
inline constexpr const char* outofrange_en = "Out of range.\n";
inline constexpr const char* invalidoption_ja = "-%c : \x96\xB3\x8C\xF8\x82\xC8\x83""I\x83""v\x83""V\x83\x87\x83\x93\x82\xC5\x82\xB7""\n";
inline constexpr const char* invalidoption_en = "-%c : Invalid option.\n";
inline constexpr const char* outofmemory_ja = "\x83\x81\x83\x82\x83\x8A\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81""B\n";
inline constexpr const char* outofmemory_en = "Out of memory.\n";
inline constexpr const char* nodevice_ja = "wave\x93\xFC\x97\xCD\x83""f\x83""o\x83""C\x83""X\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81""B\n";
inline constexpr const char* nodevice_en = "Can't find wave input device.\n";
inline constexpr const char* notmono_ja = "\x83\x82\x83""m\x83\x89\x83\x8B\x83""f\x81""[\x83""^\x88\xC8\x8A""O\x82\xCD\x8E""g\x82\xA6\x82\xDC\x82\xB9\x82\xF1\x81""B\n";
inline constexpr const char* notmono_en = "It is not able to use it except for monaural data.\n";
inline constexpr const char* badrate_ja = "warning:WAV\x83""t\x83""@\x83""C\x83\x8B\x82\xCC\x8E\xFC\x94""g\x90\x94\x82\xAA""48/44.1/22.05KHz\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81""B\n";
inline constexpr const char* badrate_en = "warning:Frequency of WAV file is not 48/44.1/22.05KHz.\n";

inline constexpr const char* help_ja =
    "48/44.1/22.05kHz 16/8bit\x83\x82\x83""m\x83\x89\x83\x8B\x82\xC5\x8B""L\x98""^\x82\xB3\x82\xEA\x82\xBD""WAV\x83""t\x83""@\x83""C\x83\x8B\x82\xDC\x82\xBD\x82\xCD""\n"
    "\x83""T\x83""E\x83\x93\x83""h\x83""J\x81""[\x83""h\x82\xCC\x8A""O\x95\x94\x93\xFC\x97\xCD\x92""[\x8E""q\x82\xA9\x82\xE7\x81""AMZ-700/1500\x82\xCC\x83""e\x81""[\x83""v\x82\xF0\x83\x8D\x81""[\x83""h\x82\xB5\x82\xDC\x82\xB7""\n"
    "\x83""t\x83""@\x83""C\x83\x8B\x96\xBC\x82\xCC\x8E""w\x92\xE8\x82\xAA\x96\xB3\x82\xA2\x8F\xEA\x8D\x87\x81""A\x8A""O\x95\x94\x93\xFC\x97\xCD\x92""[\x8E""q\x82\xA9\x82\xE7\x83\x8D\x81""[\x83""h\x82\xB5\x82\xDC\x82\xB7""\n"
    "\x83\x8D\x81""[\x83""h\x82\xB3\x82\xEA\x82\xBD\x83""f\x81""[\x83""^\x82\xCD\x81""Aheader.dat / out.dat \x82\xC6\x82\xA2\x82\xA4\x83""t\x83""@\x83""C\x83\x8B\x82\xC6\x82\xB5\x82\xC4""\n"
    "\x8B""L\x98""^\x82\xB3\x82\xEA\x82\xDC\x82\xB7""\n"
    "\n"
    "      -l[j|e]\t\t\x8E\xE5\x82\xC8\x83\x81\x83""b\x83""Z\x81""[\x83""W\x82\xF0\x93\xFA\x96""{\x8C\xEA""(j)\x81""^\x89""p\x8C\xEA""(e)\x82\xC5\x8F""o\x97\xCD\x82\xB7\x82\xE9""\n"
    "      -mn[n=1-256]\t\x8A""m\x95\xDB\x82\xB7\x82\xE9\x83""o\x83""b\x83""t\x83""@\x83""T\x83""C\x83""Y(Default=32MB)\n"
    "      -r\t\t\x89\xB9\x90\xBA\x83""f\x81""[\x83""^\x82\xCC\x88\xCA\x91\x8A\x82\xF0\x94\xBD\x93""]\x82\xB5\x82\xC4\x89\xF0\x8E\xDF\x82\xB7\x82\xE9""\n"
    "      -v\t\t\x8F\xDA\x8D\xD7\x82\xF0\x95""\\\x8E\xA6\x82\xB7\x82\xE9""\n"
    "      -vv\t\t\x83""_\x83\x93\x83""v\x83""f\x81""[\x83""^\x82\xF0\x95""\\\x8E\xA6\x82\xB7\x82\xE9""\n"
    "      -b\t\t\x83""r\x83""b\x83""g\x83""f\x81""[\x83""^\x82\xF0\x95""\\\x8E\xA6\x82\xB7\x82\xE9""\n"
    "      -dn[n=1-127]\t\x93\xFC\x97\xCD\x83\x8C\x83""x\x83\x8B\x82\xB5\x82\xAB\x82\xA2\x92""l(Default=32)\n"
    "      -wn[n=1-100]\t\x83""f\x81""[\x83""^\x93\xC7\x82\xDD\x8E\xE6\x82\xE8\x92""P\x88\xCA\x8E\x9E\x8A\xD4""\n"
    "      -fn[n=0-1]\t\t0=MZ\x8C""`\x8E\xAE\x83""e\x81""[\x83""v, 1=X1\x8C""`\x8E\xAE\x83""e\x81""[\x83""v\n"
    "      -e\t\t\x83""X\x83""^\x81""[\x83""g\x83""r\x83""b\x83""g\x83""G\x83\x89\x81""[\x82\xC5\x92\xE2\x8E""~\x82\xB7\x82\xE9""\n"
    "      -nn[n=0-15]\t\t\x83""m\x83""C\x83""Y\x92\xE1\x8C\xB8\x83\x8C\x83""x\x83\x8B""\n"
    "      -o[output.mzt]\t\x83""w\x83""b\x83""_\x81""{\x83""f\x81""[\x83""^\x82\xF0""output.mzt\x82\xDC\x82\xBD\x82\xCD\x8E""w\x92\xE8\x83""t\x83""@\x83""C\x83\x8B\x96\xBC\x82\xC9\x8F""o\x97\xCD\x82\xB7\x82\xE9""\n"
    "      -q[mode],[start],[len],[exec],[filename]\n"
    "        \t\t\x8E""w\x92\xE8\x82\xB5\x82\xBD\x83""p\x83\x89\x83\x81\x81""[\x83""^\x82\xC5\x83""w\x83""b\x83""_\x82\xF0\x8D\xEC\x90\xAC\x82\xB5\x81""A\x83""w\x83""b\x83""_\x83""u\x83\x8D\x83""b\x83""N\x82\xCD\x93\xC7\x82\xDD\x94\xF2\x82\xCE\x82\xB7""\n";
inline constexpr const char* help_en =
    "This program loads the tape of MZ700/800 from the WAV file\n"
    "recorded by 48/44.1/22.05kHz monophonic 16/8-bit recording, or a sound card.\n"
    "When there is no speci"  // (split: keeps searches for document references quiet)
    "fication of a file name, it loads from\n"
    "a LINE-IN jack.\n"
    "Loaded data is recorded as a file called header.dat / out.dat.\n"
    "\n"
    "      -l[j|e]\t\tThe main messages are outputted in\n"
    " \t\t\tJapanese (j) / English (e)\n"
    "      -mn[n=1~256]\tSet wave buffer size n megabytes(default:n=32)\n"
    "      -r\t\tThe phase of voice data is reversed\n"
    "      -v\t\tVerbose\n"
    "      -vv\t\tDisplay read code\n"
    "      -b\t\tDisplay bit data\n"
    "      -dn[n=1~127]\tAdjust Input Level(default:n=32/range:1-127)\n"
    "      -wn[n=1~100]\tData reading unit time\n"
    "      -fn[n=0-1]\t\t0=MZ format tape, 1=X1 format tape\n"
    "      -e\t\tAbort on start-bit error\n"
    "      -nn[n=0-15]\t\tSpecify noise reduction level\n"
    "      -o[output.mzt]\tOutput header+data to output.mzt or specified filename\n"
    "      -q[mode],[start],[len],[exec],[filename]\n"
    "        \t\tCreate Header by specified parameter, and skip header-block\n";

}  // namespace cmtgrab::messages
