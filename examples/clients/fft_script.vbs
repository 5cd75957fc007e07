' Sonvex2 from a script: create the Fourier object by its ProgID and set up transforms. A
' script's arrays hold Variants, not floats, so the methods that take float arrays answer a
' type mismatch (error 13) here; clients with Single arrays (VB, C++ through IDispatch) call them
' with a reference to the first element.
Option Explicit
Dim fft, samples(1025)
Set fft = CreateObject("Sonvex.FourierTransform")
fft.InitFFT 1024
WScript.Echo "created Sonvex.FourierTransform and set up a 1024-point transform"
On Error Resume Next
fft.ForwardFFT samples
WScript.Echo "ForwardFFT with a script array: error " & Err.Number & " (" & Err.Description & ")"
On Error GoTo 0
fft.FreeFFT
Set fft = Nothing
