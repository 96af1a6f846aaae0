// Resource identifiers of Mivo.exe: the one place they are defined, read by
// the resource script and by the code.
#ifndef MIVO_RESOURCE_H
#define MIVO_RESOURCE_H

// Icons
#define IDI_PROGRAM 1 // the applet's own icon: tray fallback and About box

// Version block
#define MIVO_VERSION 2, 0, 0, 0  // FILEVERSION and PRODUCTVERSION
#define MIVO_VERSION_TEXT "2.00" // the FileVersion entry
// The version as the manifest writes it, "2.0.0.0".
#define MIVO_DOTTED_(a, b, c, d) #a "." #b "." #c "." #d
#define MIVO_DOTTED(version) MIVO_DOTTED_(version)

#endif // MIVO_RESOURCE_H
